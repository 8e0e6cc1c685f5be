// Sending the maker's vendor operations to a disk: on NVMe disks the admin
// commands of the disk's command-set selector through the disk's NVMe path,
// on ATA disks the vendor ATA commands through the ATA pass-through. Each
// command is echoed in grey as the other disk commands echo theirs.
#pragma once

#include <cstdint>
#include <span>

#include "disk/disk_record.h"
#include "vendor/ata_vendor_protocol.h"
#include "vendor/vendor_operation.h"

namespace tb {

// Sends `op` to the disk of `record` by its command-set selector
// (record.command_set) or, on an ATA disk, by the ATA vendor protocol. The
// data commands move `data` (its size is the data length; on NVMe a multiple
// of 4, on ATA a multiple of 512). Returns 0; -74 when the operation is not
// available (no encoding under the selector, or a disk of another protocol);
// -2 when `data` does not suit the operation; or the negative transport code
// of the first command that failed, after which nothing more is sent. The
// caller raises a negative code through the error policy.
int send_vendor(int slot, const DiskRecord& record, VendorOp op, const VendorArgs& args, std::span<uint8_t> data);

// The same without the echo (the vendor identification, which runs outside
// any script command).
int send_vendor_quietly(const DiskRecord& record, VendorOp op, const VendorArgs& args, std::span<uint8_t> data);

// The ATA-only operations (-74 on a disk that is not ATA). ReadEventLog reads
// `data` from byte position `offset` of the event log.
int send_ata_only(int slot, const DiskRecord& record, AtaOnlyOp op, std::span<uint8_t> data = {},
                  uint32_t offset = 0);

}  // namespace tb
