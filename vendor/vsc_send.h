// How the vendor script commands reach the current target: one operation at
// a time through the vendor send path, with every failure raised through
// the error policy under the command's name and the operation's, so that a
// disk that does not speak the vendor protocol ends the command with a
// clear error before anything else is sent.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vendor/ata_vendor_protocol.h"
#include "vendor/vendor_operation.h"

namespace tb {

// Sends `op` with `data` (its size is the data length); false after raising
// the error.
bool vsc_send(int slot, const std::string& name, VendorOp op, const VendorArgs& args = {},
              std::span<uint8_t> data = {});

// Reads the record of `op` (`length` bytes); nothing after raising the error.
std::optional<std::vector<uint8_t>> vsc_read(int slot, const std::string& name, VendorOp op,
                                             const VendorArgs& args = {}, uint32_t length = kVendorDataLength);

// The operations only the ATA form has.
bool vsc_send_ata_only(int slot, const std::string& name, AtaOnlyOp op);

// The detail of a failed operation: the command, the operation and why
// ("not available with command set 192", "refused by the disk").
std::string vsc_failure_detail(const std::string& name, const char* operation, bool not_available);

}  // namespace tb
