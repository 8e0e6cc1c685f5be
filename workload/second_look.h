// After a miscompare the disk is read again: the first read from the run and
// the second, taken after the pause, go into the report with their files.
#pragma once

#include <cstdint>

#include "platform/io_queue.h"
#include "workload/compare_report.h"
#include "workload/engine.h"

namespace tb {

void take_second_look(const MiscompareRecord& m, IoTarget& target, uint32_t sector_size, MiscompareReport& report);

}  // namespace tb
