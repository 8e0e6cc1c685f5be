// The handlers of exttools/ for the external tools: Exec and the commands made from the package's tool list.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList exttool_bindings();

}  // namespace tb
