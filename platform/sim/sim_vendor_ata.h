// The ATA front of the vendor command set on a simulated SATA disk with
// `vendor = ata`: task files decoded by the vendor ATA protocol
// (vendor/ata_vendor_protocol.h), the arguments of an operation taken from
// the parameter sector sent before it, the outcome as ATA status (ABORT for
// anything refused).
#pragma once

#include <optional>
#include <span>

#include "platform/sim/sim_ata.h"
#include "platform/sim/sim_vendor.h"

namespace tb::sim {

class SimVendorAta {
  public:
    SimVendorAta(const DiskConfig& disk, VendorDeviceHooks hooks) : vendor_(disk, std::move(hooks)) {}

    // nullopt when the task file is no vendor command of the protocol.
    std::optional<AtaOutput> execute(const AtaCommand& command, AtaProtocol protocol, std::span<uint8_t> data);

    SimVendor& vendor() { return vendor_; }
    const SimVendor& vendor() const { return vendor_; }
    void power_off() {
        vendor_.power_off();
        arguments_.reset();
    }

  private:
    struct Arguments {
        VendorOp op;
        VendorArgs args;
    };
    SimVendor vendor_;
    std::optional<Arguments> arguments_;  // the last parameter sector
};

}  // namespace tb::sim
