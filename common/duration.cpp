#include "common/duration.h"

#include "common/format.h"

namespace tb {

std::string readable_duration(uint32_t ms) {
    const uint32_t hours = ms / 3600000;
    const uint32_t minutes = ms / 60000 % 60;
    const uint32_t seconds = ms / 1000 % 60;
    const uint32_t millis = ms % 1000;
    std::string out;
    if (hours > 0) out += fmt("%d hr ", hours);
    if (hours > 0 || minutes > 0) out += fmt("%d min ", minutes);
    out += fmt("%d.%03d sec ", seconds, millis);
    return out;
}

}  // namespace tb
