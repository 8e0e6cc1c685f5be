// Feeds arbitrary bytes to the LBA map reader: it must never read past the
// image, crash or hang, and every map it accepts must be one the player can
// use as it is (sizes that agree, every write and trim on a request
// boundary inside the region) and must encode back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "workload/lba_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the input's size, so that any read past it is seen.
    std::vector<uint8_t> image(data, data + size);
    tb::LbaMap map;
    std::string why;
    if (!tb::decode_lba_map(std::span<const uint8_t>(image.data(), image.size()), map, why)) {
        if (why.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    const tb::MapHeader& h = map.header;
    if (h.request_size == 0 || h.units() == 0 || map.records.size() != h.count) std::abort();
    for (const tb::MapRecord& r : map.records) {
        if (r.action == tb::MapAction::Flush) continue;
        if (r.offset < h.region_start || (r.offset - h.region_start) % h.request_size) std::abort();
        if (map.unit_of(r) >= h.units()) std::abort();
    }
    if (tb::encode_lba_map(map) != image) std::abort();
    tb::MapHeader header;
    if (!tb::decode_map_header(std::span<const uint8_t>(image.data(), image.size()), header, why)) std::abort();
    return 0;
}
