// The calendar time of the machine's local time zone.
#pragma once

#include <ctime>

namespace tb::host {

// Broken-down local time of `t` (thread-safe; all fields zero when the
// system cannot convert it).
std::tm local_time(std::time_t t);

}  // namespace tb::host
