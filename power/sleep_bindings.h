// The handlers of power/ for powerState_S3S4, OneShot_S3S4 and
// IsS3S4Running: sleeping and waking the whole machine.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList sleep_bindings();

}  // namespace tb
