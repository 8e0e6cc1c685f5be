// What the partition commands share about their disk: which disk the job's
// target stands on, its table as it is now, whether the table may be
// changed, and telling the disk table afterwards.
#pragma once

#include <optional>
#include <string>

#include "platform/partition_table.h"

namespace tb {

// The physical path of the current target (the disk of a volume target);
// raises -1 and gives nullopt when there is no target.
std::optional<std::string> partition_disk_path(int slot);

// Reads the table of `disk_path`; raises -7 with the reason when it fails.
std::optional<PartitionLayout> read_partitions(int slot, const std::string& disk_path);

// Raises a refusal and gives false when the table of the current target
// must not change: the system disk (`system_code`, -7 or -89) or a disk
// with a mounted or otherwise held partition (-7), naming what holds it.
bool table_may_change(int slot, const std::string& disk_path, const PartitionLayout& layout, int32_t system_code);

// Rescans the disks and takes up the current target's disk afresh, so that
// its RAW state and volumes show the change; tells the main window.
void take_up_disk_change(int slot, const std::string& disk_path);

}  // namespace tb
