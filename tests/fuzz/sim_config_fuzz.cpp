// Feeds random machine files to the configuration reader: it must never
// crash, read out of bounds or overflow, and whatever it accepts must be a
// machine that could be built (sizes within bounds, volumes on their disks).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sim/sim_config.h"

namespace {

void check_accepted(const tb::sim::SimConfig& cfg) {
    for (const auto& d : cfg.disks) {
        if (d.capacity_bytes < (1u << 20) || (d.sector_size != 512 && d.sector_size != 4096)) std::abort();
        uint64_t used = 0;
        for (const auto& v : d.volumes) {
            if (v.total_bytes == 0 || v.free_bytes > v.total_bytes) std::abort();
            if (__builtin_add_overflow(used, v.total_bytes, &used)) std::abort();
        }
        if (used > d.capacity_bytes) std::abort();
        if (d.type == tb::sim::DiskType::Usb && d.bridge == tb::sim::BridgeKind::None) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto cfg = tb::sim::parse_sim_config(text, &error, "fuzz.ini");
    if (cfg) check_accepted(*cfg);
    else if (error.empty()) std::abort();  // a refusal always says why
    (void)tb::sim::parse_size(text);
    (void)tb::sim::parse_size(text, 4096);
    return 0;
}
