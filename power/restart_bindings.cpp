#include "power/restart_bindings.h"

#include "power/pc_reboot.h"

namespace tb {

namespace {

const CommandBinding kRestartBindings[] = {
    {"PCReBoot", cmd_PCReBoot},
};

}  // namespace

BindingList restart_bindings() { return kRestartBindings; }

}  // namespace tb
