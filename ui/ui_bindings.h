// The handlers of ui/ bound to their rows of the command table.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList ui_bindings();

}  // namespace tb
