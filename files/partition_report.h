// The lines PartitionInfo writes for a disk's partition table, one
// "key : value" line per fact so that Result( KeyWord:... ) reads each back
// ("Partition Style", "Partition Count", "Partition1 Start LBA", ...).
#pragma once

#include <string>
#include <vector>

#include "platform/partition_table.h"

namespace tb {

std::vector<std::string> partition_report_lines(const std::string& disk_path, const PartitionLayout& layout);

}  // namespace tb
