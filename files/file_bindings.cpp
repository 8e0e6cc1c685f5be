#include "files/file_bindings.h"

namespace tb {

BindingList file_bindings() { return {}; }

}  // namespace tb
