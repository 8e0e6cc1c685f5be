#include "power/reboot_continuation.h"

#include "platform/autostart.h"
#include "platform/host/temp_folder.h"
#include "platform/paths.h"
#include "power/reboot_registration.h"
#include "script/app_context.h"
#include "script/file_argument.h"
#include "script/fn_script.h"

namespace tb {

std::string state_folder() {
    std::string folder = utf8_path(host::temp_folder());
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    return folder;
}

namespace {

// The next start runs from another folder: a machine file is named in full.
std::vector<std::string> machine_options_in_full() {
    std::vector<std::string> out;
    for (const std::string& o : instance_options()) {
        const std::string sim = "--sim=";
        out.push_back(o.rfind(sim, 0) == 0 && o.size() > sim.size() ? sim + absolute_path(o.substr(sim.size())) : o);
    }
    return out;
}

}  // namespace

bool register_continuation(const SavedRunState& state, int reboot_sync, bool error_stop, std::string& error) {
    const uint32_t frame = state.info.reboot_count;
    if (!save_run_state(state_folder(), frame, state, error)) {
        remove_run_state(state_folder(), frame);
        return false;
    }
    RebootRegistration r;
    r.program = own_program_path();
    r.machine_options = machine_options_in_full();
    r.script = state.info.script_path;
    r.disk_location = state.info.disk_location;
    r.count = frame;
    r.limit = state.info.reboot_limit;
    r.reboot_sync = reboot_sync;
    r.error_stop = error_stop;
    remove_autorun_value("AutoRunOnStartup");
    if (!set_autorun_value(reboot_value_name(frame), reboot_command_line(r))) {
        error = "the start-up registration " + reboot_value_name(frame) + " cannot be written";
        remove_run_state(state_folder(), frame);
        return false;
    }
    return true;
}

void withdraw_continuation(uint32_t frame) {
    remove_autorun_value(reboot_value_name(frame));
    remove_run_state(state_folder(), frame);
}

}  // namespace tb
