#include "files/ntfs_bindings.h"

namespace tb {

BindingList ntfs_bindings() { return {}; }

}  // namespace tb
