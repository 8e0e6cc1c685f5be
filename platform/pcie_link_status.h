// The PCI Express link of a function, read from its configuration space:
// the Link Capabilities (maximum speed and width) and Link Status (what the
// link trained to) registers of its PCI Express capability.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tb {

struct PcieLinkState {
    uint32_t speed = 0;  // generation code: 1 = 2.5 GT/s, 2 = 5, 3 = 8, 4 = 16, 5 = 32, 6 = 64
    uint32_t width = 0;  // lanes
    uint32_t max_speed = 0;
    uint32_t max_width = 0;
};

// nullopt when the space has no PCI Express capability.
std::optional<PcieLinkState> pcie_link_state(std::span<const uint8_t> config);

// "8.0 GT/s PCIe" (the form Linux shows in sysfs); empty for an unknown code.
std::string pcie_speed_text(uint32_t speed);

}  // namespace tb
