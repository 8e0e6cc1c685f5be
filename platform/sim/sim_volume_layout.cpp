#include "platform/sim/sim_volume_layout.h"

namespace tb::sim {

std::optional<uint64_t> volume_offset(const DiskConfig& disk, char letter) {
    uint64_t at = 1ull << 20;
    for (const auto& v : disk.volumes) {
        if (v.letter == letter) return at + (v.aligned_4k ? 0 : 63 * 512);
        at += v.total_bytes;
    }
    return std::nullopt;
}

}  // namespace tb::sim
