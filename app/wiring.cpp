#include "app/wiring.h"

#include <cstdio>
#include <memory>
#include <string>

#include "app/program_commands.h"
#include "disk/disk_record.h"
#include "platform/block_storage.h"
#include "platform/disk_device.h"
#include "platform/linux/linux_block_storage.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/linux_volumes.h"
#include "platform/paths.h"
#include "platform/sim/sim_block_storage.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/sim_volumes.h"
#include "platform/volumes.h"
#include "script/command_table.h"
#include "script/job_events.h"
#include "script/job_log_writer.h"
#include "script/operator_dialogs.h"
#include "script/target_path.h"
#include "ui/console_dialogs.h"
#include "ui/console_job_events.h"
#include "ui/job_log.h"

namespace tb {

namespace {

// The machine the options ask for: the real disks of this machine, or the
// simulated machine (with its config file when one was named).
bool install_machine(const StartOptions& options) {
    if (options.linux_disks) {
        std::unique_ptr<DiskPlatform> real = make_linux_platform();
        if (!real) {
            std::fprintf(stderr, "tamblor: the real disks of this machine cannot be used here\n");
            return false;
        }
        set_disk_platform(std::move(real));
        return true;
    }
    if (!options.sim_config.empty() && !file_exists(options.sim_config)) {
        std::fprintf(stderr, "tamblor: no simulated machine config %s\n", options.sim_config.c_str());
        return false;
    }
    std::string error;
    std::unique_ptr<DiskPlatform> sim = sim::make_sim_platform(options.sim_config, &error);
    if (!sim) {
        std::fprintf(stderr, "tamblor: the simulated machine cannot be used: %s\n", error.c_str());
        return false;
    }
    set_disk_platform(std::move(sim));
    return true;
}

// The operator's side of a run: questions asked on the terminal, and the job's
// events shown as the console shows them.
void install_console_operator() {
    install_operator_dialogs(make_console_dialogs());
    install_job_events(make_console_job_events());
}

}  // namespace

void install_commands() { install_command_table(program_commands().rows); }

void install_job_seams() {
    install_job_log_writer(make_job_log_writer());
    install_target_path_source([] { return current_target().physical_path; });
}

void install_storage(bool real_machine) {
    if (real_machine) {
        set_block_storage(linuxdisk::make_linux_block_storage());
        set_volumes(linuxdisk::make_linux_volumes());
        return;
    }
    set_block_storage(sim::make_sim_block_storage());
    set_volumes(sim::make_sim_volumes());
}

bool install_system(const StartOptions& options) {
    install_commands();
    install_job_seams();
    install_console_operator();
    if (!install_machine(options)) return false;
    install_storage(options.linux_disks);
    return true;
}

}  // namespace tb
