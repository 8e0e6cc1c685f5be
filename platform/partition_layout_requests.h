// The disk driver's layout requests of Windows, as bytes: CREATE_DISK
// (a new, empty GPT or MBR table), SET_DRIVE_LAYOUT_EX (the table with its
// partitions) and the reply of GET_DRIVE_LAYOUT_EX. The layouts are those
// of the 64-bit and 32-bit system alike (no pointers in them):
//
//   CREATE_DISK (24 bytes): style u32 @0; MBR signature u32 @4, or GPT disk
//     GUID @4 and maximum partition count u32 @20.
//   DRIVE_LAYOUT_INFORMATION_EX (48 bytes + 144 per entry): style u32 @0,
//     entry count u32 @4; MBR signature u32 @8, checksum u32 @12, or GPT
//     disk GUID @8, first usable byte i64 @24, usable length i64 @32,
//     maximum partition count u32 @40; the entries from @48.
//   PARTITION_INFORMATION_EX (144 bytes): style u32 @0, starting offset
//     i64 @8, length i64 @16, number u32 @24, rewrite u8 @28, service
//     partition u8 @29; MBR: type u8 @32, boot u8 @33, recognised u8 @34,
//     hidden sectors u32 @36, partition GUID @40; GPT: type GUID @32,
//     partition GUID @48, attributes u64 @64, name (36 UTF-16 units) @72.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/partition_on_disk.h"
#include "platform/partition_table.h"

namespace tb {

// Control codes (CTL_CODE of the disk device type 7, buffered).
constexpr uint32_t kIoctlDiskGetDriveLayoutEx = 0x00070050;
constexpr uint32_t kIoctlDiskSetDriveLayoutEx = 0x0007C054;
constexpr uint32_t kIoctlDiskCreateDisk = 0x0007C058;
constexpr uint32_t kIoctlDiskDeleteDriveLayout = 0x0007C100;
constexpr uint32_t kIoctlDiskUpdateProperties = 0x00070140;

constexpr size_t kCreateDiskBytes = 24;
constexpr size_t kDriveLayoutHeaderBytes = 48;
constexpr size_t kPartitionInformationBytes = 144;
constexpr uint32_t kGptMaxPartitions = 128;

// Partition style values.
constexpr uint32_t kStyleMbr = 0, kStyleGpt = 1, kStyleRaw = 2;

// A new empty table. `disk_id`: the GPT disk GUID; for MBR its first four
// bytes are the disk signature.
std::vector<uint8_t> create_disk_request(PartitionScheme scheme, const Guid& disk_id);

struct LayoutPartition {
    uint64_t offset_bytes = 0;
    uint64_t length_bytes = 0;
    std::string type_code;  // GPT type GUID text, or MBR type hex ("07")
    Guid partition_id{};    // GPT only
    uint32_t sector_size = 512;  // for the MBR hidden-sectors field
};

// The table with one partition (number 1). An MBR layout carries its four
// entries, the three unused ones zero; every entry is marked for rewriting.
// Empty when the type code cannot be read.
std::vector<uint8_t> set_layout_request(PartitionScheme scheme, const Guid& disk_id, const LayoutPartition& partition);

// Room for a reply holding `entries` partitions.
constexpr size_t layout_reply_bytes(size_t entries) {
    return kDriveLayoutHeaderBytes + entries * kPartitionInformationBytes;
}

// What a GET_DRIVE_LAYOUT_EX reply says. Offsets become sectors of
// `sector_size`; MBR entries of type 0 (unused) are left out.
struct LayoutReply {
    PartitionLayout layout;
    uint64_t first_usable_byte = 0;  // GPT only
    uint64_t usable_bytes = 0;       // GPT only
};
bool parse_layout_reply(std::span<const uint8_t> reply, uint32_t sector_size, LayoutReply& out, std::string& error);

}  // namespace tb
