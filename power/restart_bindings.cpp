#include "power/restart_bindings.h"

namespace tb {

BindingList restart_bindings() { return {}; }

}  // namespace tb
