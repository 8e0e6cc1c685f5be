#include "platform/system_build.h"

namespace tb {

uint32_t windows_build_number() { return 0; }

}  // namespace tb
