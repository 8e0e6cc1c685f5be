#include "exttools/upload_bindings.h"

namespace tb {

BindingList upload_bindings() { return {}; }

}  // namespace tb
