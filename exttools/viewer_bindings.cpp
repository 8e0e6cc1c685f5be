#include "exttools/viewer_bindings.h"

namespace tb {

BindingList viewer_bindings() { return {}; }

}  // namespace tb
