// The request buffers of the Windows NVMe paths, built and read byte for
// byte: the storage protocol interface of the inbox driver
// (STORAGE_PROTOCOL_COMMAND, STORAGE_PROPERTY_QUERY / STORAGE_PROPERTY_SET
// with protocol-specific data, STORAGE_HW_FIRMWARE_DOWNLOAD / _ACTIVATE,
// STORAGE_REINITIALIZE_MEDIA) and the miniport requests behind an
// SRB_IO_CONTROL header ("NvmeMini", "IntelNvm", "IntelFw ").
// All fields are little-endian; offsets are from the start of the buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disk/nvme_command.h"

namespace tb {

// Device control codes (CTL_CODE(base, function, METHOD_BUFFERED, access)).
constexpr uint32_t kIoctlStorageQueryProperty = 0x002D1400;       // 0x2D, 0x500, any access
constexpr uint32_t kIoctlStorageSetProperty = 0x002D93FC;         // 0x2D, 0x4FF, write (the code since 2004)
constexpr uint32_t kIoctlStorageReinitializeMedia = 0x002D9640;   // 0x2D, 0x590, write
constexpr uint32_t kIoctlStorageProtocolCommand = 0x002DD3C0;     // 0x2D, 0x4F0, read|write
constexpr uint32_t kIoctlStorageFirmwareDownload = 0x002DDC04;    // 0x2D, 0x701, read|write
constexpr uint32_t kIoctlStorageFirmwareActivate = 0x002DDC08;    // 0x2D, 0x702, read|write
constexpr uint32_t kIoctlScsiMiniport = 0x0004D008;               // 0x04, 0x402, read|write
constexpr uint32_t kIoctlScsiPassThroughDirect = 0x0004D014;      // 0x04, 0x405, read|write

// System error codes the request paths report.
constexpr uint32_t kSysErrorInvalidFunction = 1;
constexpr uint32_t kSysErrorInvalidParameter = 87;
constexpr uint32_t kSysErrorIoDevice = 1117;
// The firmware activate request's answer when the new image waits for a
// reset to become active (counted as success by the commit operation).
constexpr uint32_t kSysErrorFirmwareNeedsReset = 197127;

constexpr uint32_t kProtocolTypeNvme = 3;

// ---- STORAGE_PROTOCOL_COMMAND (IOCTL_STORAGE_PROTOCOL_COMMAND) ------------
//   0 Version 1            4 Length 84             8 ProtocolType 3
//  12 Flags 0x80000000    16 ReturnStatus (out)   20 ErrorCode (out: NVMe status, SCT<<8|SC)
//  24 CommandLength 64    28 ErrorInfoLength 0    32 DataToDeviceTransferLength
//  36 DataFromDeviceTransferLength                 40 TimeOutValue 60
//  44 ErrorInfoOffset 0   48 DataToDeviceBufferOffset (144 when out)
//  52 DataFromDeviceBufferOffset (144 when in)     56 CommandSpecific 1 admin / 2 NVM
//  60 Reserved0           64 FixedProtocolReturnData (out: DW0)   68..79 Reserved1
//  80 Command (64)       144 data
namespace spc {
constexpr size_t kVersion = 0, kLength = 4, kProtocolType = 8, kFlags = 12, kReturnStatus = 16,
                 kErrorCode = 20, kCommandLength = 24, kErrorInfoLength = 28, kToDeviceLength = 32,
                 kFromDeviceLength = 36, kTimeout = 40, kErrorInfoOffset = 44, kToDeviceOffset = 48,
                 kFromDeviceOffset = 52, kCommandSpecific = 56, kFixedReturn = 64, kCommand = 80, kData = 144;
constexpr uint32_t kStructLength = 84;
constexpr uint32_t kAdapterRequest = 0x80000000;
constexpr uint32_t kAdminCommand = 1, kNvmCommand = 2;
constexpr uint32_t kStatusSuccess = 1, kStatusError = 2, kStatusInvalidRequest = 3, kStatusNotSupported = 0xFF;
}  // namespace spc

// The request of 144 + data.size() bytes; `data` is copied in for direction Out.
std::vector<uint8_t> build_protocol_command(const NvmeCommand& cmd, NvmeQueue queue, DataDir dir,
                                            std::span<const uint8_t> data);

// ---- STORAGE_PROPERTY_QUERY with STORAGE_PROTOCOL_SPECIFIC_DATA -----------
// Input:   0 PropertyId (49 adapter / 50 device protocol-specific)   4 QueryType 0
//          8 ProtocolType 3  12 DataType (1 identify, 2 log page, 3 feature)
//         16 ProtocolDataRequestValue  20 ...SubValue  24 ProtocolDataOffset 40
//         28 ProtocolDataLength  32 FixedProtocolReturnData  36 SubValue2  40 SubValue3
//         44 SubValue4 (log page: LSP * 2 + RAE)  48 data
// Output (STORAGE_PROTOCOL_DATA_DESCRIPTOR in the same buffer): 0 Version 48,
//          4 Size 48, the protocol-specific data again at 8 (FixedProtocolReturnData
//          at 32), data at 48.
namespace spq {
constexpr size_t kPropertyId = 0, kQueryType = 4, kProtocolType = 8, kDataType = 12, kRequestValue = 16,
                 kSubValue = 20, kDataOffset = 24, kDataLength = 28, kFixedReturn = 32, kSubValue2 = 36,
                 kSubValue3 = 40, kSubValue4 = 44, kData = 48;
constexpr uint32_t kSpecificDataSize = 40;
constexpr uint32_t kDescriptorSize = 48;
constexpr uint32_t kAdapterProtocolSpecific = 49, kDeviceProtocolSpecific = 50;
constexpr uint32_t kDataIdentify = 1, kDataLogPage = 2, kDataFeature = 3;
}  // namespace spq

std::vector<uint8_t> build_property_query(uint32_t property_id, uint32_t data_type, uint32_t value,
                                          uint32_t sub_value, uint32_t sub_value4, uint32_t data_length);
// Identify: property 49 for CNS 0 and 1, 50 above; 4096 bytes.
std::vector<uint8_t> build_identify_query(uint32_t cns, uint32_t nsid);
// Log page: property 50; data length 4096 (more when `length` needs it).
std::vector<uint8_t> build_log_page_query(uint8_t log_id, uint8_t lsp, bool rae, uint32_t length);
// Feature: property 49, no data.
std::vector<uint8_t> build_feature_query(uint8_t feature_id);

// ---- STORAGE_PROPERTY_SET with STORAGE_PROTOCOL_SPECIFIC_DATA_EXT ---------
// Input:   0 PropertyId 49   4 SetType 0 (standard)   8 ProtocolType 3   12 DataType 3
//         16 ProtocolDataValue (CDW10)   20 ProtocolDataSubValue (CDW11)
//         24 ProtocolDataOffset 64   28 ProtocolDataLength 0   32 FixedProtocolReturnData
//         36..52 SubValue2..SubValue6   56..71 reserved
// Output (STORAGE_PROTOCOL_DATA_DESCRIPTOR_EXT): 0 Version 72, 4 Size 72, the
//          data again at 8 (FixedProtocolReturnData at 32).
namespace sps {
constexpr size_t kPropertyId = 0, kSetType = 4, kProtocolType = 8, kDataType = 12, kValue = 16, kSubValue = 20,
                 kDataOffset = 24, kDataLength = 28, kFixedReturn = 32;
constexpr uint32_t kSpecificDataSize = 64;
constexpr uint32_t kRequestSize = 72;
}  // namespace sps

std::vector<uint8_t> build_set_feature_property(uint32_t cdw10, uint32_t cdw11);

// ---- STORAGE_HW_FIRMWARE_DOWNLOAD ----------------------------------------
//   0 Version 40   4 Size 40 + n   8 Flags 1 (controller)   12 Slot 1   13..15 0
//  16 Offset (8 bytes)   24 BufferSize (8 bytes)   32 image chunk (n)   request 40 + n bytes
namespace hwfw {
constexpr size_t kVersion = 0, kSize = 4, kFlags = 8, kSlot = 12, kOffset = 16, kBufferSize = 24, kImage = 32;
constexpr uint32_t kDownloadVersion = 40;
constexpr uint32_t kFlagController = 1;
constexpr uint32_t kFlagSwitchToExisting = 0x80000000;
constexpr uint32_t kActivateSize = 16;
}  // namespace hwfw

std::vector<uint8_t> build_hw_firmware_download(uint64_t offset, std::span<const uint8_t> chunk);

// ---- STORAGE_HW_FIRMWARE_ACTIVATE -----------------------------------------
//   0 Version 16   4 Size 16   8 Flags (1 for commit action 1, else 0x80000001)   12 Slot
std::vector<uint8_t> build_hw_firmware_activate(uint8_t slot, uint8_t action);

// ---- STORAGE_REINITIALIZE_MEDIA -------------------------------------------
//   0 Version 16   4 Size 16   8 TimeoutInSeconds 60   12 SanitizeOption 0
std::vector<uint8_t> build_reinitialize_media();

// ---- SRB_IO_CONTROL header of the miniport requests ------------------------
//   0 HeaderLength 28   4 Signature (8)   12 Timeout   16 ControlCode   20 ReturnCode (out)
//  24 Length (bytes after the header)
namespace srb {
constexpr size_t kHeaderLength = 0, kSignature = 4, kTimeout = 12, kControlCode = 16, kReturnCode = 20,
                 kLength = 24;
constexpr uint32_t kHeaderSize = 28;
constexpr uint32_t kTimeoutSeconds = 40;
}  // namespace srb

// The 8-byte signature of a miniport request ("" when the buffer is too short).
std::string srb_signature(std::span<const uint8_t> buffer);

// ---- "NvmeMini" (152 + n bytes) -------------------------------------------
//   28..51 vendor-specific 0   52 command   116 completion (out)   132 direction
//  136 queue id (0 admin, 1 I/O)   140 data buffer length = request size
//  144 metadata length 0   148 return buffer length = request size   152 data
// Header: control code 0xE0002000, Length = 124 + n.
namespace nvme_mini {
constexpr size_t kCommand = 52, kCompletion = 116, kStatus = 130, kDirection = 132, kQueueId = 136,
                 kDataBufferLength = 140, kMetadataLength = 144, kReturnBufferLength = 148, kData = 152;
constexpr uint32_t kControlCode = 0xE0002000;
}  // namespace nvme_mini

std::vector<uint8_t> build_nvme_mini(const NvmeCommand& cmd, NvmeQueue queue, DataDir dir,
                                     std::span<const uint8_t> data);

// ---- "IntelNvm" (167 + n bytes) -------------------------------------------
//  28 version 1   29 port (SCSI path id)   30..31 0   32 command   96 0
//  97 completion (out)   112 0 admin / 1 I/O   116 data offset 164   120 data length
// 124..163 0   164 data
// Header: control code 0xF0002808, Length = request size - 28.
namespace intel_nvm {
constexpr size_t kVersion = 28, kPort = 29, kCommand = 32, kCompletion = 97, kQueue = 112, kDataOffset = 116,
                 kDataLength = 120, kData = 164;
constexpr uint32_t kControlCode = 0xF0002808;
constexpr uint32_t kExtra = 167;
}  // namespace intel_nvm

std::vector<uint8_t> build_intel_nvm(const NvmeCommand& cmd, NvmeQueue queue, uint8_t port,
                                     std::span<const uint8_t> data);

// ---- "IntelFw " firmware requests -----------------------------------------
//  28 version 1   29 path id   30 target id 0   31 lun 0
//  32 request block: 32 version 1   36 size 24   40 function (2 download, 3 activate)
//     44 flags (1 controller; 0x80000000 switch to existing image)
//     48 data offset 56   52 data length
//  56 data:  download: 56 version 1   60 size 24 + n   64 offset (8)   72 length (8)   80 chunk (n)
//            activate: 56 version 1   60 size 12   64 slot   65..67 0
// Header: control code 0xF0000040, Length = request size - 28.
namespace intel_fw {
constexpr size_t kVersion = 28, kPathId = 29, kBlockVersion = 32, kBlockSize = 36, kFunction = 40, kFlags = 44,
                 kDataOffset = 48, kDataLength = 52, kData = 56, kPayloadVersion = 56, kPayloadSize = 60,
                 kImageOffset = 64, kImageLength = 72, kImage = 80, kSlot = 64;
constexpr uint32_t kControlCode = 0xF0000040;
constexpr uint32_t kFunctionDownload = 2, kFunctionActivate = 3;
}  // namespace intel_fw

std::vector<uint8_t> build_intel_fw_download(uint8_t path_id, uint64_t offset, std::span<const uint8_t> chunk);
std::vector<uint8_t> build_intel_fw_activate(uint8_t path_id, uint8_t slot, uint8_t action);

}  // namespace tb
