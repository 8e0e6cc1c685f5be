// Registering a script to carry on after a restart: the run state goes into
// the state files of the restart's frame in the temporary folder, the
// AutoRunOnStartup value is deleted and "Tamblor_Reboot<frame>" written.
#pragma once

#include <cstdint>
#include <string>

#include "script/state_files.h"

namespace tb {

// The folder the state files go to: the system's temporary folder.
std::string state_folder();

// Saves `state` as frame `state.info.reboot_count` and registers the next
// start. False with `error` when a file or the registration cannot be
// written; nothing is left registered then.
bool register_continuation(const SavedRunState& state, int reboot_sync, bool error_stop, std::string& error);

// Takes back what register_continuation() wrote for `frame` (the restart
// did not happen).
void withdraw_continuation(uint32_t frame);

}  // namespace tb
