// The request buffers the Windows storage stack takes through device
// control, built byte for byte in the 64-bit layouts of the system's
// structures: SCSI_PASS_THROUGH_DIRECT with its sense area, ATA_PASS_THROUGH_EX
// with its data, the device-property query, the data-set-management (trim)
// request and the compression switch. The NVMe requests (protocol command,
// protocol-specific property queries, firmware, miniport) are in
// nvme_requests.h; the replies to the discovery queries in windows_replies.h.
// All fields are little-endian; offsets are from the start of the buffer.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/disk_device.h"

namespace tb::winreq {

// Device control codes (CTL_CODE(device type, function, method, access)).
constexpr uint32_t kIoctlStorageGetDeviceNumber = 0x002D1080;          // 0x2D, 0x420, buffered, any
constexpr uint32_t kIoctlStorageManageDataSetAttributes = 0x002D9404;  // 0x2D, 0x501, buffered, write
constexpr uint32_t kIoctlScsiGetAddress = 0x00041018;                  // 0x04, 0x406, buffered, any
constexpr uint32_t kIoctlAtaPassThrough = 0x0004D02C;                  // 0x04, 0x40B, buffered, read|write
constexpr uint32_t kIoctlDiskGetDriveGeometryEx = 0x000700A0;          // 0x07, 0x028, buffered, any
constexpr uint32_t kIoctlDiskGetLengthInfo = 0x0007405C;               // 0x07, 0x017, buffered, read
constexpr uint32_t kIoctlVolumeGetVolumeDiskExtents = 0x00560000;      // 0x56, 0x000, buffered, any
constexpr uint32_t kFsctlLockVolume = 0x00090018;                      // 0x09, 6, buffered, any
constexpr uint32_t kFsctlUnlockVolume = 0x0009001C;                    // 0x09, 7, buffered, any
constexpr uint32_t kFsctlDismountVolume = 0x00090020;                  // 0x09, 8, buffered, any
constexpr uint32_t kFsctlAllowExtendedDasdIo = 0x00090083;             // 0x09, 32, neither, any
constexpr uint32_t kFsctlSetCompression = 0x0009C040;                  // 0x09, 16, buffered, read|write data

// ---- SCSI_PASS_THROUGH_DIRECT (IOCTL_SCSI_PASS_THROUGH_DIRECT) -------------
//   0 Length 56 (u16)   2 ScsiStatus (out)   3 PathId   4 TargetId   5 Lun
//   6 CdbLength   7 SenseInfoLength 64   8 DataIn (0 out, 1 in, 2 none)
//  12 DataTransferLength   16 TimeOutValue   24 DataBuffer (address, 8 bytes)
//  32 SenseInfoOffset 56   36 Cdb (16)   56 sense data (64)   request 120 bytes
namespace sptd {
constexpr size_t kLength = 0, kScsiStatus = 2, kPathId = 3, kTargetId = 4, kLun = 5, kCdbLength = 6,
                 kSenseInfoLength = 7, kDataIn = 8, kTransferLength = 12, kTimeout = 16, kDataBuffer = 24,
                 kSenseOffset = 32, kCdb = 36, kSense = 56;
constexpr uint16_t kStructSize = 56;
constexpr uint8_t kSenseSize = 64;
constexpr size_t kRequestSize = kSense + kSenseSize;
constexpr uint8_t kDataOut = 0, kDataInFlag = 1, kNoData = 2;
}  // namespace sptd

// The request for `req`, its data addressed directly at `data_address` (a
// buffer the caller keeps alive and suitably aligned until the answer).
std::vector<uint8_t> build_scsi_direct(const ScsiPassThrough& req, uint64_t data_address);
// Reads status, sense data and the transferred length back into `req`.
void read_scsi_direct_answer(std::span<const uint8_t> buffer, ScsiPassThrough& req);

// ---- ATA_PASS_THROUGH_EX (IOCTL_ATA_PASS_THROUGH) --------------------------
//   0 Length 48 (u16)   2 AtaFlags (u16)   4 PathId   5 TargetId   6 Lun
//   8 DataTransferLength   12 TimeOutValue   16 reserved   24 DataBufferOffset (8 bytes, 48)
//  32 PreviousTaskFile (8)   40 CurrentTaskFile (8, out: error, count, LBA, device, status)
//  48 data   request 48 + data bytes, used for input and output
namespace apt {
constexpr size_t kLength = 0, kFlags = 2, kPathId = 4, kTargetId = 5, kLun = 6, kTransferLength = 8,
                 kTimeout = 12, kDataOffset = 24, kPrevious = 32, kCurrent = 40, kData = 48;
constexpr uint16_t kStructSize = 48;
}  // namespace apt

// The request for `req`; data out is copied in.
std::vector<uint8_t> build_ata_pass_through_ex(const AtaPassThrough& req);
// The output registers into req.current, data in into req.data.
void read_ata_pass_through_ex_answer(std::span<const uint8_t> buffer, AtaPassThrough& req);

// ---- STORAGE_PROPERTY_QUERY for the device descriptor ----------------------
//   0 PropertyId 0 (StorageDeviceProperty)   4 QueryType 0 (standard)   8 reserved   12 bytes
std::vector<uint8_t> build_device_property_query();

// ---- DEVICE_MANAGE_DATA_SET_ATTRIBUTES, trim --------------------------------
//   0 Size 28   4 Action 1 (trim)   8 Flags 0   12 ParameterBlockOffset 0   16 ParameterBlockLength 0
//  20 DataSetRangesOffset 32   24 DataSetRangesLength 16   28 reserved
//  32 DEVICE_DATA_SET_RANGE: 32 StartingOffset (8)   40 LengthInBytes (8)   request 48 bytes
namespace dsm {
constexpr size_t kSize = 0, kAction = 4, kFlags = 8, kParameterOffset = 12, kParameterLength = 16,
                 kRangesOffset = 20, kRangesLength = 24, kRanges = 32;
constexpr uint32_t kStructSize = 28;
constexpr uint32_t kActionTrim = 1;
constexpr size_t kRangeSize = 16;
}  // namespace dsm

// One byte range to deallocate.
std::vector<uint8_t> build_trim_request(uint64_t offset, uint64_t length);

// ---- FSCTL_SET_COMPRESSION --------------------------------------------------
//   0 CompressionState (u16): 0 none
std::vector<uint8_t> build_compression_off();

}  // namespace tb::winreq
