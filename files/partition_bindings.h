// The handlers of files/ for partition tables and the test PC's system report.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList partition_bindings();

}  // namespace tb
