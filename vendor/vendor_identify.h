// Vendor identification: which of the maker's controllers a disk carries and
// how to talk to it. Fills the record's SoC identifier, firmware kind, vendor
// word, command-set selector and second firmware revision.
//
// NVMe disks: Identify Controller first. A controller that reports a capacity
// of 0 GB is in ROM mode (SoC identifier from Identify bytes 2-3, firmware
// kind 0, selector 0); one of 2 GB is taken the same way unless Identify byte
// 256 bit 1 says it takes the full identification; PCI vendor 0x8086 is firmware
// kind 9999 without SoC identifier. Any other disk gets the full
// identification: log page 0xE1, then the drive information under selector 0
// and 1, then the manufacturing information. For the maker's own PCI vendor id
// it is tried up to 3 more times, 500 ms apart, while it finds no SoC
// identifier.
//
// ATA disks: the drive information through the vendor ATA protocol.
#pragma once

#include <cstdint>

#include "disk/disk_record.h"

namespace tb {

// The maker's PCI vendor id: its controllers are asked again when they do not
// answer at once. (The simulated machine's disks carry 0x1F9A unless their
// configuration says otherwise, so a plain simulated disk is asked once.)
constexpr uint32_t kMakerPciVendorId = 0x1F9B;
constexpr uint32_t kOtherMakerVendorId = 0x8086;  // firmware kind 9999

// Firmware kinds set by the identification.
constexpr int32_t kFirmwareKindRom = 0;
constexpr int32_t kFirmwareKindOther = 9999;

// The identification of one disk (protocols 1, 2 and 10..17); returns the
// SoC identifier (0 when none was found). Fits set_vendor_identifier.
uint32_t identify_maker_controller(DiskRecord& record);

// Installs identify_maker_controller as the system's vendor identification.
void install_vendor_identification();

}  // namespace tb
