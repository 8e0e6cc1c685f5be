// Disk discovery: every call rescans the machine and rebuilds the table of
// disks and their volumes.
#pragma once

#include <string>
#include <string_view>

#include "disk/disk_record.h"
#include "platform/disk_device.h"

namespace tb {

// Keeps a text field within its capacity (UTF-16 units, terminator included).
std::string field_text(std::string_view text, size_t capacity);

// Rescans into `table`: disks in enumeration order, each followed by its
// volumes. Returns the number of records, or -1 when more than `capacity`
// (at most 26) would be needed; the table is then empty.
int discover(DiskTable& table, int capacity = kDiskTableCapacity);

// Rescans into the process's table.
inline int discover_disks() { return discover(disk_table(), kDiskTableCapacity); }

// The disk record of one discovered disk, classified and identified; volumes
// are not included.
DiskRecord build_disk_record(const DiscoveredDisk& disk);

// The record of volume `volume` of the disk record `disk`.
DiskRecord build_volume_record(const DiskRecord& disk, const DiscoveredVolume& volume);

}  // namespace tb
