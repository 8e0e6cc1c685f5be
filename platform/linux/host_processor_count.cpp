#include "platform/host/processor_count.h"

#include <unistd.h>

namespace tb::host {

unsigned processor_count() {
    long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1u;
}

}  // namespace tb::host
