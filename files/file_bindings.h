// The handlers of files/ for the file commands: copying, comparing, deleting, and the background write and read jobs.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList file_bindings();

}  // namespace tb
