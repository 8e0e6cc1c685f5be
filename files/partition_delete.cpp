#include "files/partition_delete.h"

#include <optional>

#include "common/format.h"
#include "disk/disk_record.h"
#include "files/partition_target.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/operator_dialogs.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"ConfirmMsg", "Confirm", ArgType::Bool, "TRUE"},
};

}  // namespace

void cmd_Partition_Delete(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const std::optional<std::string> disk = partition_disk_path(slot);
    if (!disk) return;
    const std::optional<PartitionLayout> layout = read_partitions(slot, *disk);
    if (!layout || !table_may_change(slot, *disk, *layout, kErrPartitionC)) return;
    if (layout->scheme == PartitionScheme::None) {
        log_text(slot, fmt("No partition table on %s", *disk));
        set_result_number(slot, name, current_target().raw_flag ? 1 : 0);
        return;
    }
    if (a->flag("ConfirmMsg") &&
        !operator_dialogs()->confirm(slot, fmt("Delete all partitions of %s?", *disk))) {
        log_text(slot, "---- Cancel Command ----", colour::kCyan);
        return;
    }
    std::string error;
    if (!partition_tables().remove(*disk, error)) {
        raise_error(slot, kErrPartitionControl, error);
        take_up_disk_change(slot, *disk);
        return;
    }
    log_text(slot, fmt("%-26s: %d", "Deleted Partitions", static_cast<int>(layout->partitions.size())));
    take_up_disk_change(slot, *disk);
    set_result_number(slot, name, current_target().raw_flag ? 1 : 0);
}

}  // namespace tb
