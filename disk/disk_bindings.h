// The handlers of disk/ bound to their rows of the command table.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList disk_bindings();

}  // namespace tb
