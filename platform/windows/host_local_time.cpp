#include "platform/host/local_time.h"

#include <time.h>

namespace tb::host {

std::tm local_time(std::time_t t) {
    std::tm out{};
    if (::localtime_s(&out, &t) != 0) return std::tm{};
    return out;
}

}  // namespace tb::host
