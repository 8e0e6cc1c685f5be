// What the workload commands open on the job's disk: the whole drive (RAW
// mode), one partition, or a test file in a volume's root, on the simulated
// machine (the disk's backing store, with the disk's injected faults) or on
// this machine (the block device or file, unbuffered).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "workload/io_queue.h"
#include "workload/sim_target.h"

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

// Tests: extra hooks for every simulated-disk target opened from now on
// (record requests, add latency); nullptr removes them. The disk's injected
// faults are applied before the hooks' own error.
using SimHookMaker = std::function<void(uint32_t disk_number, SimIoHooks& hooks)>;
void set_sim_io_hooks(SimHookMaker maker);

}  // namespace tb
