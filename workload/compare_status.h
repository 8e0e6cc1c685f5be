// The status line of the compare tests, shown once a second while they run:
// spinner, seconds since the command started, cycle and percent of the
// cycle; once the run has ended, the wait for its threads to close.
#pragma once

#include <string>

#include "workload/engine.h"

namespace tb {

std::string compare_status(const StatusFigures& f);

}  // namespace tb
