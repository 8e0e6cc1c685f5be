#include "app/program_commands.h"

#include <array>

#include "app/app_bindings.h"
#include "disk/disk_bindings.h"
#include "exttools/exttool_bindings.h"
#include "exttools/upload_bindings.h"
#include "exttools/viewer_bindings.h"
#include "files/file_bindings.h"
#include "files/ntfs_bindings.h"
#include "files/partition_bindings.h"
#include "power/hub_bindings.h"
#include "power/relink_bindings.h"
#include "power/restart_bindings.h"
#include "power/sleep_bindings.h"
#include "script/engine_bindings.h"
#include "ui/ui_bindings.h"
#include "vendor/offline_bindings.h"
#include "vendor/vendor_bindings.h"
#include "workload/workload_bindings.h"

namespace tb {

std::span<const BindingList> program_bindings() {
    static const BindingList kLists[] = {
        engine_bindings(),  disk_bindings(),      workload_bindings(), ui_bindings(),      app_bindings(),
        sleep_bindings(),   hub_bindings(),       restart_bindings(),  relink_bindings(),  file_bindings(),
        ntfs_bindings(),    partition_bindings(), exttool_bindings(),  upload_bindings(),  viewer_bindings(),
        vendor_bindings(),
        offline_bindings(),
    };
    return kLists;
}

const AssembledCommands& program_commands() {
    static const AssembledCommands kCommands = assemble_commands(command_rows(), program_bindings());
    return kCommands;
}

}  // namespace tb
