#include "files/partition_bindings.h"

namespace tb {

BindingList partition_bindings() { return {}; }

}  // namespace tb
