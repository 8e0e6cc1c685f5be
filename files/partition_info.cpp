#include "files/partition_info.h"

#include <optional>

#include "files/partition_report.h"
#include "files/partition_target.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

void cmd_PartitionInfo(int slot, const std::string&, const std::string& name) {
    const std::optional<std::string> disk = partition_disk_path(slot);
    if (!disk) return;
    const std::optional<PartitionLayout> layout = read_partitions(slot, *disk);
    if (!layout) return;
    for (const std::string& line : partition_report_lines(*disk, *layout)) log_text(slot, line);
    set_result_number(slot, name, static_cast<int64_t>(layout->partitions.size()));
}

}  // namespace tb
