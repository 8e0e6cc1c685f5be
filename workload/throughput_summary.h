// The throughput figures of a workload: one point from the bytes moved over
// an interval, and the summary of a cycle's points (maximum, minimum,
// average) that the summary lines print.
#pragma once

#include <cstdint>

#include "workload/engine.h"

namespace tb {

// Write and read rates (KB/s, IO/s of `request_size`) of bytes moved in
// `elapsed_us` microseconds (at least 1).
void set_rates(ThroughputSample& point, uint64_t written, uint64_t read, uint64_t elapsed_us, uint32_t request_size);

// Counts a point into the cycle's maximum, minimum and totals.
void add_to_summary(WorkloadResult& result, const ThroughputSample& point);

// The averages of the cycle (zero minimums when it has no point).
void close_summary(WorkloadResult& result, uint32_t request_size);

}  // namespace tb
