#include "exttools/exttool_bindings.h"

namespace tb {

BindingList exttool_bindings() { return {}; }

}  // namespace tb
