// The handlers of power/ for re-linking a disk and re-enumerating the disks:
// SSDPowerReLink and ReScanDriver.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList relink_bindings();

}  // namespace tb
