// What the workload commands open on the job's disk: the whole drive (RAW
// mode), one partition, or a test file in a volume's root, through the
// machine's block storage and volumes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/io_queue.h"

namespace tb {

struct DiskRecord;

enum class TargetMode {
    Raw,         // a disk without partitions: the physical drive
    Partition,   // the job's target is one partition (a volume record)
    FileSystem,  // a disk with volumes: a test file in its first volume's root
};

TargetMode target_mode(const DiskRecord& disk);

// Opens the drive (Raw) or the partition (Partition) of `disk` for LBA I/O;
// nullptr with a message when it cannot be opened. Offsets are relative to
// the partition's start for a partition.
std::unique_ptr<IoTarget> open_disk_target(const DiskRecord& disk, std::string* error = nullptr);

// Opens an existing file for unbuffered LBA-style I/O.
std::unique_ptr<IoTarget> open_file_target(const std::string& path, std::string* error = nullptr);

// The root folder of the first volume of `disk` (no trailing separator);
// empty when it has none that can be reached.
std::string volume_root(const DiskRecord& disk);

// Free bytes on the file system holding `folder` (0 when unknown).
uint64_t free_bytes_at(const std::string& folder);

// Size in bytes of the target's medium as the disk record knows it: the
// disk's length, or the partition's size.
uint64_t disk_bytes(const DiskRecord& disk);

}  // namespace tb
