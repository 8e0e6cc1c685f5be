// Partition tables of Linux block devices (or image files) through
// libfdisk, file systems through the system's mkfs programs. Every function
// takes the device node ("/dev/sdb", "/dev/loop3") so that tests can work
// on loop devices; the disk-path form of the seam resolves to it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/partition_table.h"

namespace tb::linuxdisk {

// The table of the device with, for each partition, the file system found
// at its start and where it is mounted.
bool read_partition_layout(const std::string& node, PartitionLayout& out, std::string& error);

// A new table of `request.scheme` with one partition; old signatures on
// the disk are wiped, and the kernel is told of the new table.
bool create_partition_table(const std::string& node, const NewPartition& request, uint32_t& number,
                            std::string& error);

// Formats partition `number` through its partition node when the kernel
// made one, else through a loop device over the partition's range of the
// disk.
bool format_partition(const std::string& node, uint32_t number, const NewPartition& request, std::string& error);

// Clears the boot record and both GPT copies and tells the kernel.
bool remove_partition_table(const std::string& node, std::string& error);

}  // namespace tb::linuxdisk
