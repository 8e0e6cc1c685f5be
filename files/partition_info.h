// PartitionInfo: the partition table of the job's disk: its style (GPT,
// MBR or RAW), and for each partition its start, size, type, file system,
// drive letter and mount point. The result is the number of partitions.
#pragma once

#include <string>

namespace tb {

void cmd_PartitionInfo(int slot, const std::string& args, const std::string& name);

}  // namespace tb
