// Reading a disk's identity now: the model, serial number and firmware
// revision (and, for NVMe, the PCI vendor id) from ATA IDENTIFY DEVICE or
// NVMe Identify Controller, as discovery, target matching, the package
// restriction and the identity commands need them.
#pragma once

#include <cstdint>
#include <string>

#include "disk/disk_record.h"

namespace tb {

struct DriveIdentity {
    bool ok = false;         // the identify command succeeded
    std::string model;       // trimmed
    std::string serial;      // trimmed
    std::string firmware;    // trimmed
    uint32_t pci_vendor_id = 0;  // NVMe only: bytes 0-1 of Identify Controller
    bool supports_trim = false;  // NVMe ONCS (bytes 520-521) bit 2, ATA word 169 bit 0
};

// ATA IDENTIFY DEVICE for protocols 1-2, NVMe Identify Controller for every
// other protocol (which fails on disks that have no NVMe path).
DriveIdentity read_drive_identity(const DiskRecord& record);

// ATA IDENTIFY DEVICE sent as for `access_protocol` (used while a USB disk
// is being classified).
DriveIdentity read_ata_identity(const DiskRecord& record, uint8_t access_protocol);

}  // namespace tb
