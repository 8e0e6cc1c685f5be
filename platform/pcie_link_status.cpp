#include "platform/pcie_link_status.h"

namespace tb {

namespace {

constexpr uint8_t kCapabilityExpress = 0x10;

uint16_t get16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

uint32_t get32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

std::optional<PcieLinkState> pcie_link_state(std::span<const uint8_t> config) {
    constexpr uint16_t kHasCapabilities = 0x10;  // status register bit 4
    if (config.size() < 64 || !(get16(config, 6) & kHasCapabilities)) return std::nullopt;
    size_t at = config[0x34] & 0xFC;
    for (int hops = 0; at >= 0x40 && at + 0x14 <= config.size() && hops < 48; ++hops) {
        if (config[at] == kCapabilityExpress) {
            const uint32_t caps = get32(config, at + 0x0C);
            const uint16_t status = get16(config, at + 0x12);
            return PcieLinkState{status & 0xFu, (status >> 4) & 0x3Fu, caps & 0xFu, (caps >> 4) & 0x3Fu};
        }
        at = config[at + 1] & 0xFC;
    }
    return std::nullopt;
}

std::string pcie_speed_text(uint32_t speed) {
    switch (speed) {
        case 1: return "2.5 GT/s PCIe";
        case 2: return "5.0 GT/s PCIe";
        case 3: return "8.0 GT/s PCIe";
        case 4: return "16.0 GT/s PCIe";
        case 5: return "32.0 GT/s PCIe";
        case 6: return "64.0 GT/s PCIe";
        default: return {};
    }
}

}  // namespace tb
