#include "files/file_place.h"

#include <utility>

#include "common/format.h"
#include "disk/disk_record.h"
#include "files/file_size.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "workload/lba_target.h"

namespace tb {

bool is_absolute_file_name(std::string_view name) {
    return name.find(':') != std::string_view::npos || (!name.empty() && (name.front() == '\\' || name.front() == '/'));
}

std::optional<std::string> place_file_name(int slot, std::string name, FileBox box, std::string_view title) {
    if (name.empty()) {
        if (resolve_file_argument(slot, name, box == FileBox::Save, "", title) != FileResolve::Chosen) {
            set_cancel(slot);
            return std::nullopt;
        }
        return native_path(name);
    }
    if (is_absolute_file_name(name)) return native_path(name);
    const DiskRecord& disk = current_target();
    const std::string root = volume_root(disk);
    if (root.empty()) {
        raise_error(slot, kErrNoPartition,
                    fmt("%s: %s has no mounted volume to hold a relative name", name, disk.device_path));
        return std::nullopt;
    }
    return native_path(path_join(root, name));
}

std::optional<std::string> place_file_to_read(int slot, std::string name) {
    std::optional<std::string> path = place_file_name(slot, std::move(name), FileBox::Open, "Any File");
    if (path && is_folder(*path)) {
        raise_error(slot, kErrFileOpen, fmt("%s is a folder, not a file", *path));
        return std::nullopt;
    }
    return path;
}

}  // namespace tb
