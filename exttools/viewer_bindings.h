// The handlers of exttools/ for the exchange with the log viewer.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList viewer_bindings();

}  // namespace tb
