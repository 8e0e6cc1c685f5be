// The handlers of app/ bound to their rows of the command table.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList app_bindings();

}  // namespace tb
