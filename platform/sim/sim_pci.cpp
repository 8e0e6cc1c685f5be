#include "platform/sim/sim_pci.h"

#include <algorithm>

#include "platform/sim/sim_config.h"

namespace tb::sim {

namespace {

constexpr uint32_t kLinkCap = SimPciLink::kCapOffset + 0x0C;
constexpr uint32_t kLinkCtl = SimPciLink::kCapOffset + 0x10;
constexpr uint32_t kLinkStatus = SimPciLink::kCapOffset + 0x12;
constexpr uint32_t kLinkCtl2 = SimPciLink::kCapOffset + 0x30;
constexpr uint16_t kRetrainLink = 0x20;

void put16(std::array<uint8_t, 4096>& b, uint32_t off, uint16_t v) {
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::array<uint8_t, 4096>& b, uint32_t off, uint32_t v) {
    put16(b, off, static_cast<uint16_t>(v));
    put16(b, off + 2, static_cast<uint16_t>(v >> 16));
}
uint16_t get16(const std::array<uint8_t, 4096>& b, uint32_t off) {
    return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}

// The capability list: one PCI Express capability of the given port type.
void express_capability(std::array<uint8_t, 4096>& b, uint16_t port_type) {
    b[0x06] = 0x10;  // status: capability list
    b[0x34] = SimPciLink::kCapOffset;
    b[SimPciLink::kCapOffset] = 0x10;
    put16(b, SimPciLink::kCapOffset + 2, static_cast<uint16_t>(0x0002 | (port_type << 4)));
    put32(b, kLinkCap, SimPciLink::kMaxGen | (SimPciLink::kLanes << 4));
    put16(b, kLinkStatus, static_cast<uint16_t>(SimPciLink::kMaxGen | (SimPciLink::kLanes << 4)));
    put16(b, kLinkCtl2, SimPciLink::kMaxGen);
}

}  // namespace

SimPciLink::SimPciLink(const DiskConfig& disk) {
    // The controller: mass storage, NVM Express, NVMe programming interface.
    put16(device_, 0x00, disk.vid);
    put16(device_, 0x02, 0x5016);
    put16(device_, 0x04, 0x0406);  // memory space, bus master, INTx off
    device_[0x08] = 0x01;
    device_[0x09] = 0x02;
    device_[0x0A] = 0x08;
    device_[0x0B] = 0x01;
    device_[0x0C] = 0x10;
    put32(device_, 0x10, 0xFE000004u);  // 64-bit memory BAR (upper half in BAR1 = 0)
    put16(device_, 0x2C, disk.ssvid);
    put16(device_, 0x2E, 0x5016);
    device_[0x3C] = 0x0B;
    device_[0x3D] = 0x01;
    express_capability(device_, 0);

    // The root port: a PCI-to-PCI bridge whose secondary bus is the controller's.
    put16(port_, 0x00, 0x8086);
    put16(port_, 0x02, 0x43B8);
    put16(port_, 0x04, 0x0407);
    port_[0x0B] = 0x06;
    port_[0x0A] = 0x04;
    port_[0x0E] = 0x01;
    port_[0x18] = 0;
    port_[0x19] = static_cast<uint8_t>(disk.pci_bus);
    port_[0x1A] = static_cast<uint8_t>(disk.pci_bus);
    put32(port_, 0x14, 0);
    express_capability(port_, 4);
}

std::vector<uint8_t> SimPciLink::read(bool upstream) const {
    const auto& b = upstream ? port_ : device_;
    return std::vector<uint8_t>(b.begin(), b.end());
}

bool SimPciLink::write(bool upstream, uint32_t offset, std::span<const uint8_t> bytes) {
    if (offset >= 4096 || bytes.size() > 4096 - offset) return false;
    auto& b = upstream ? port_ : device_;
    for (size_t i = 0; i < bytes.size(); ++i) {
        uint32_t at = offset + static_cast<uint32_t>(i);
        // Identity, class, header type, the capability structure's read-only
        // registers and the link status stay as the hardware says.
        bool read_only = at < 0x04 || (at >= 0x08 && at < 0x0C) || at == 0x0E || at == 0x34 ||
                         (at >= kCapOffset && at < kCapOffset + 4) || (at >= kLinkCap && at < kLinkCap + 4) ||
                         (at >= kLinkStatus && at < kLinkStatus + 2);
        if (!read_only) b[at] = bytes[i];
    }
    if (upstream && (get16(port_, kLinkCtl) & kRetrainLink)) retrain();
    return true;
}

void SimPciLink::retrain() {
    uint16_t target = get16(port_, kLinkCtl2) & 0xF;
    uint16_t speed = static_cast<uint16_t>(std::clamp<uint16_t>(target, 1, kMaxGen));
    uint16_t status = static_cast<uint16_t>(speed | (kLanes << 4));
    put16(device_, kLinkStatus, status);
    put16(port_, kLinkStatus, status);
    put16(port_, kLinkCtl, static_cast<uint16_t>(get16(port_, kLinkCtl) & ~kRetrainLink));  // self-clearing
}

}  // namespace tb::sim
