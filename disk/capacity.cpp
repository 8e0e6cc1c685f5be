#include "disk/capacity.h"

namespace tb {

namespace {
constexpr uint64_t kDecimalGb = 1'000'000'000ULL;
}

uint32_t capacity_gb(uint32_t bytes_per_sector, uint64_t length) {
    if (bytes_per_sector == 0 || length < kDecimalGb) return 0;
    if (length >= kIdemaLimitBytes) return static_cast<uint32_t>(length / kDecimalGb);
    const uint64_t count = length / bytes_per_sector;
    switch (bytes_per_sector) {
        case 512: return count < 21168 ? 0 : static_cast<uint32_t>((count - 21168) / 1953504);
        case 4096: return count < 2646 ? 0 : static_cast<uint32_t>((count - 2646) / 244188);
        default: return static_cast<uint32_t>(length / kDecimalGb);
    }
}

}  // namespace tb
