// The handlers of script/ bound to their rows of the command table.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList engine_bindings();

}  // namespace tb
