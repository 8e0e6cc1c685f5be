#include "power/sleep_bindings.h"

namespace tb {

BindingList sleep_bindings() { return {}; }

}  // namespace tb
