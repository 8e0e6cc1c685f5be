// Finding one disk again among the disks the machine shows now. A disk's
// number is not its own: a machine that numbers its disks by their place in
// the enumeration hands a removed disk's number to the disk after it. What
// stays with a disk while it is attached is where it is attached and the
// instance names of the disk and of its controller.
#pragma once

#include <cstdint>
#include <optional>

#include "disk/disk_record.h"
#include "platform/disk_device.h"

namespace tb {

// Whether `candidate` is the disk `record` was made from (a volume record
// stands for its disk).
bool is_same_disk(const DiskRecord& record, const DiscoveredDisk& candidate);

// The number the machine gives the record's disk now, when that disk is
// still on the system and its physical path still opens; nullopt otherwise.
std::optional<uint32_t> present_disk_number(const DiskRecord& record);

}  // namespace tb
