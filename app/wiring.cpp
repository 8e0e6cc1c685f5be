#include "app/wiring.h"

#include <cstdio>
#include <memory>
#include <string>

#include "app/program_commands.h"
#include "disk/disk_record.h"
#include "platform/block_storage.h"
#include "platform/disk_device.h"
#include "platform/native_machine.h"
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
#include "vendor/vendor_identify.h"

namespace tb {

namespace {

// The real machine an option names: --linux or --windows; "" for the
// simulated machine.
std::string real_machine_option(const StartOptions& options) {
    if (options.linux_disks) return "--linux";
    if (options.windows_disks) return "--windows";
    return {};
}

// The machine the options ask for: the real disks of this machine, or the
// simulated machine (with its config file when one was named).
bool install_machine(const StartOptions& options) {
    if (const std::string real_option = real_machine_option(options); !real_option.empty()) {
        if (real_option != native_machine_option()) {
            std::fprintf(stderr, "tamblor: %s: this program was built for %s disks; use %s or --sim\n",
                         real_option.c_str(), native_machine_option() == "--windows" ? "Windows" : "Linux",
                         native_machine_option().c_str());
            return false;
        }
        std::unique_ptr<DiskPlatform> real = make_native_platform();
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
        set_block_storage(make_native_block_storage());
        set_volumes(make_native_volumes());
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
    install_storage(!real_machine_option(options).empty());
    install_vendor_identification();
    return true;
}

}  // namespace tb
