// A disk's partition table as the partition commands see it: reading it,
// making a new table (GPT or MBR) with one partition, deleting it, and
// putting a file system on a partition.
//
// Which machine: the one of the disks in use. On the simulated machine the
// table lies in the simulated disk's image; on Linux it goes through
// libfdisk and the system's mkfs programs; on Windows through the disk
// driver's layout requests and format.com. Tests install their own with
// set_partition_tables.
//
// Disks are named as the disk table names them: "\\.\PHYSICALDRIVE%d".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tb {

enum class PartitionScheme { None, Mbr, Gpt };

// "GPT", "MBR" or "RAW" (no table).
const char* scheme_name(PartitionScheme scheme);

struct PartitionEntry {
    uint32_t number = 0;           // 1-based, as the table numbers it
    uint64_t start_sector = 0;     // in the disk's logical sectors
    uint64_t sector_count = 0;
    std::string type_name;         // "Microsoft basic data", "Linux filesystem", "NTFS/exFAT"...
    std::string type_code;         // GPT: the type GUID; MBR: two hex digits ("07")
    std::string file_system;       // "NTFS", "EXT4", "FAT32"...; empty when none was recognised
    std::string mount_point;       // "/mnt/x", "D:\"; empty when not mounted
    char letter = 0;               // the drive letter the disk table gives it, 0 = none
    // The system holds it (mounted, swap, a member of another volume, or a
    // volume the machine fixes): the table must not be changed under it.
    bool in_use = false;
};

struct PartitionLayout {
    PartitionScheme scheme = PartitionScheme::None;
    uint32_t sector_size = 512;
    uint64_t disk_sectors = 0;
    std::vector<PartitionEntry> partitions;  // by number
};

struct NewPartition {
    PartitionScheme scheme = PartitionScheme::Gpt;
    uint64_t size_bytes = 0;   // 0: the whole free space
    std::string file_system;   // "NTFS", "EXT4"...; empty: no file system
    char letter = 0;           // drive letter asked for, 0 = the machine's choice
    std::string label;         // volume label, may be empty
};

class PartitionTables {
public:
    virtual ~PartitionTables() = default;
    // The table of a disk; false with `error` when the disk cannot be read.
    virtual bool read(const std::string& disk_path, PartitionLayout& out, std::string& error) = 0;
    // Writes a new, empty table of `request.scheme` over whatever the disk
    // held, adds one partition of `request.size_bytes` at the first aligned
    // sector, and tells the system. The number of the partition in `number`.
    virtual bool create(const std::string& disk_path, const NewPartition& request, uint32_t& number,
                        std::string& error) = 0;
    // Puts `request.file_system` on partition `number` (and gives it the
    // letter asked for, where the machine has letters).
    virtual bool format(const std::string& disk_path, uint32_t number, const NewPartition& request,
                        std::string& error) = 0;
    // Deletes every partition and the table itself; the disk is then raw.
    virtual bool remove(const std::string& disk_path, std::string& error) = 0;
    // File systems this machine can make, upper case, the default first.
    virtual std::vector<std::string> file_systems() = 0;
};

// The tables in use: the ones installed by set_partition_tables, else the
// ones of the disk machine in use.
PartitionTables& partition_tables();
std::shared_ptr<PartitionTables> shared_partition_tables();
// Installs tables (tests); nullptr goes back to the default.
void set_partition_tables(std::unique_ptr<PartitionTables> tables);

// This machine's own (platform/linux or platform/windows).
std::unique_ptr<PartitionTables> make_native_partition_tables();

}  // namespace tb
