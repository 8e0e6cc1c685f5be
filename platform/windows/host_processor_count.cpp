#include "platform/host/processor_count.h"

#include <windows.h>

namespace tb::host {

unsigned processor_count() {
    // All processor groups: machines with more than 64 processors have several.
    DWORD n = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    if (n == 0) {
        SYSTEM_INFO info{};
        ::GetSystemInfo(&info);
        n = info.dwNumberOfProcessors;
    }
    return n > 0 ? static_cast<unsigned>(n) : 1u;
}

}  // namespace tb::host
