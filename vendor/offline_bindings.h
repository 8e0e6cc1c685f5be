// The handlers of vendor/ that work on saved files rather than on a drive's
// vendor commands: the record decoders, the firmware image editor and
// joiner, the RDT result reader and the SMART monitor.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList offline_bindings();

}  // namespace tb
