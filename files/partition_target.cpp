#include "files/partition_target.h"

#include "disk/disk_record.h"
#include "disk/refind.h"
#include "disk/target_select.h"
#include "script/error_policy.h"

namespace tb {

std::optional<std::string> partition_disk_path(int slot) {
    const DiskRecord& target = current_target();
    if (target.physical_path.empty()) {
        raise_error(slot, kErrOpenDisk, "No target disk");
        return std::nullopt;
    }
    return target.physical_path;
}

std::optional<PartitionLayout> read_partitions(int slot, const std::string& disk_path) {
    PartitionLayout layout;
    std::string error;
    if (!partition_tables().read(disk_path, layout, error)) {
        raise_error(slot, kErrPartitionControl, error);
        return std::nullopt;
    }
    return layout;
}

bool table_may_change(int slot, const std::string& disk_path, const PartitionLayout& layout, int32_t system_code) {
    if (current_target().system_flag) {
        raise_error(slot, system_code, disk_path + " is the system disk");
        return false;
    }
    std::string held;
    for (const PartitionEntry& p : layout.partitions) {
        if (!p.in_use) continue;
        if (!held.empty()) held += ", ";
        held += "partition " + std::to_string(p.number);
        if (!p.mount_point.empty()) held += " on " + p.mount_point;
    }
    if (!held.empty()) {
        raise_error(slot, kErrPartitionControl, disk_path + " is mounted (" + held + ")");
        return false;
    }
    return true;
}

void take_up_disk_change(int slot, const std::string& disk_path) {
    if (refind_current_target(disk_path)) notify_disk_change(slot, DiskNotice::Refound, disk_path);
}

}  // namespace tb
