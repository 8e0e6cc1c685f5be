// Readable elapsed-time text used by every "Elapsed Time" line and by the
// run-time and sleep-cycling messages.
#pragma once

#include <cstdint>
#include <string>

namespace tb {

// "%d hr " (at least one hour), "%d min " (hours or minutes non-zero) and
// "%d.%03d sec " (seconds within the minute and milliseconds), joined;
// for example 3723004 ms gives "1 hr 2 min 3.004 sec ".
std::string readable_duration(uint32_t ms);

}  // namespace tb
