// The handlers of workload/ bound to their rows of the command table.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList workload_bindings();

}  // namespace tb
