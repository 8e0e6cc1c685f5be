// The handlers of power/ for restarting or powering off the machine, and
// carrying the script on after the restart: PCReBoot.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList restart_bindings();

}  // namespace tb
