// The handlers of the online vendor commands (SetVSCType and the VSC_...
// commands, in their NVMe and ATA rows).
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList vendor_bindings();

}  // namespace tb
