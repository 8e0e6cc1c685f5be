// The partition tables as they lie on a disk: a master boot record with its
// four entries, or a GUID partition table (protective MBR, primary header
// and entries at the start, their backup copies at the end). Builds the
// sectors of a new table with one partition, reads a table back from a
// disk's sectors, and names the sectors that deleting a table must clear.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/partition_table.h"

namespace tb {

using Guid = std::array<uint8_t, 16>;  // in the on-disk byte order

// "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7" <-> on-disk bytes (the first three
// groups little-endian). Parsing gives false for a malformed text.
bool parse_guid(std::string_view text, Guid& out);
std::string guid_text(const Guid& guid);

// Bytes to write at a sector of the disk.
struct SectorRun {
    uint64_t lba = 0;
    std::vector<uint8_t> bytes;  // a whole number of sectors
};

struct TablePlan {
    PartitionScheme scheme = PartitionScheme::Gpt;
    uint32_t sector_size = 512;
    uint64_t disk_sectors = 0;
    uint64_t size_bytes = 0;  // of the partition; 0: all the free space
    std::string type_code;    // GPT type GUID text or MBR type hex ("07")
    Guid disk_id{};           // GPT disk GUID; MBR: the first 4 bytes are the disk signature
    Guid partition_id{};      // GPT only
};

// The first sector of a new partition: 1 MiB into the disk.
uint64_t aligned_first_sector(uint32_t sector_size);

// The sectors of a new table holding one partition (number 1) that starts
// at aligned_first_sector. False with `error` when the disk is too small,
// the size does not fit, or the disk is too large for an MBR.
bool build_table(const TablePlan& plan, std::vector<SectorRun>& out, PartitionEntry& partition,
                 std::string& error);

// Reads `count` sectors at `lba` into `out`; false when they cannot be read.
using SectorReader = std::function<bool(uint64_t lba, uint32_t count, std::vector<uint8_t>& out)>;

// The table of a disk of `disk_sectors` sectors. No boot-record signature
// is no table (scheme None, true). A damaged GPT (bad signature or
// checksums, entries outside the disk) is false with `error`. Type names
// are filled in; file systems and mounts are left to the caller.
bool read_table(uint32_t sector_size, uint64_t disk_sectors, const SectorReader& read, PartitionLayout& out,
                std::string& error);

// The sector ranges deleting a table clears: the boot record and the
// primary GPT at the start, the backup GPT at the end.
std::vector<std::pair<uint64_t, uint64_t>> table_sectors(uint32_t sector_size, uint64_t disk_sectors);

}  // namespace tb
