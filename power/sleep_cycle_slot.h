// The sleep cycler of a job slot: started by PowerState_S3S4, asked about
// by IsS3S4Running. One cycler runs per slot; starting another stops the one
// that runs (two cyclers would each sleep the machine on their own timer).
#pragma once

#include <cstdint>

#include "power/sleep_plan.h"

namespace tb {

// Starts the cycler of `slot` as a background task of its job and returns at
// once. With stop_by_job_end the end of the job stops it; without, it
// outlives the job and is stopped by the program's shutdown.
void start_sleep_cycle(int slot, const SleepCycleSettings& settings);

// True while the cycler of `slot` runs.
bool sleep_cycle_running(int slot);

// Sleeps started by the newest cycler of `slot`.
uint32_t sleep_cycles_started(int slot);

}  // namespace tb
