// Vendor identification: asks a disk, through the maker's vendor commands,
// which of the maker's controllers it carries. Until those commands are in
// the build the identification reads nothing: the SoC identifier stays 0,
// the command-set selector 0, and the firmware kind stays -1 (not
// identified), so an ordinary disk is neither a ROM-mode nor a
// configurable-firmware drive.
#pragma once

#include <cstdint>

#include "disk/disk_record.h"

namespace tb {

// Fills the vendor fields of `record` for protocols 1, 2 and 10..17 and
// returns its SoC identifier (0 when not one of the maker's controllers or
// not read).
uint32_t identify_vendor(DiskRecord& record);

// The vendor command set installs its identification here; nullptr restores
// the built-in one (which reads nothing).
using VendorIdentifier = uint32_t (*)(DiskRecord& record);
void set_vendor_identifier(VendorIdentifier identifier);

}  // namespace tb
