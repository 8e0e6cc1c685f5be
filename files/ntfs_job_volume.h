// The NTFS commands' volume: the job's partition (the target itself, or the
// first volume of a disk that has volumes), opened through the block-storage
// seam for walking, with its start on its disk and its disk.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "disk/disk_record.h"
#include "files/ntfs_sector_reader.h"
#include "files/ntfs_volume.h"
#include "platform/block_storage.h"
#include "platform/io_queue.h"

namespace tb::ntfs {

struct JobVolume {
    DiskRecord record;           // the volume's record
    DiskRecord disk;             // the disk holding it
    StorageAddress address;      // the volume, as the seams take it
    uint64_t start_lba = 0;      // the volume's first sector on its disk
    std::unique_ptr<IoTarget> target;
    std::unique_ptr<TargetSectorReader> reader;
    std::unique_ptr<Volume> volume;
    // "D:" for paths on the volume; empty without a letter.
    std::string drive() const;
};

// The job's partition as a StorageAddress (letter from "\\.\D:").
StorageAddress volume_address(const DiskRecord& volume);

// Finds and opens the job's volume. Refuses a disk in RAW mode with "Only
// Support Partition Mode" in red and -24; -1 when the volume cannot be
// opened. Does not read the file system yet.
std::unique_ptr<JobVolume> open_job_volume(int slot);

// Reads the boot sector and the $MFT's first record; the reason of a
// failure in red and -90 raised.
bool open_file_system(int slot, JobVolume& v);

// Ends the walk: the reason in red, then -90 "Invalid Data or Signature
// Incorrect" with it.
void walk_failed(int slot, const std::string& reason);

}  // namespace tb::ntfs
