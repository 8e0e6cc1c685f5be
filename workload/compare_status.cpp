#include "workload/compare_status.h"

#include "common/format.h"

namespace tb {

std::string compare_status(const StatusFigures& f) {
    if (f.closing) return fmt("%c Cmd:%I64d sec   |   Wait All Thread Close  ", f.spinner, f.seconds);
    return fmt("%c Cmd:%I64d sec   |   Cycle%d, Process:%d%%  ", f.spinner, f.seconds, f.cycle, f.percent);
}

}  // namespace tb
