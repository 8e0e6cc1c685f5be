// PCI configuration spaces of a simulated NVMe controller and of the root
// port above it: type-0 and type-1 headers with a PCI Express capability.
// The link runs at PCIe 4.0 x4 at most; retraining through the port's Link
// Control register settles it at the lower of the port's target speed (Link
// Control 2) and that maximum.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tb::sim {

struct DiskConfig;

class SimPciLink {
public:
    static constexpr uint32_t kCapOffset = 0x40;  // the PCI Express capability
    static constexpr uint32_t kMaxGen = 4, kLanes = 4;

    explicit SimPciLink(const DiskConfig& disk);
    std::vector<uint8_t> read(bool upstream) const;
    // Writes inside the 4096-byte space; read-only header fields keep their values.
    bool write(bool upstream, uint32_t offset, std::span<const uint8_t> bytes);

private:
    void retrain();
    std::array<uint8_t, 4096> device_{}, port_{};
};

}  // namespace tb::sim
