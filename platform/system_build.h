// The build number of the running system as Windows counts it: the
// CurrentBuild value under SOFTWARE\Microsoft\Windows NT\CurrentVersion of
// the local machine. 0 on other systems and when it cannot be read.
#pragma once

#include <cstdint>

namespace tb {

uint32_t windows_build_number();

}  // namespace tb
