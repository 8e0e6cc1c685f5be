// The sleep cycler: sleeps the machine, wakes it by timer, waits the
// interval and sleeps again, until a cycle or time limit is reached or it is
// stopped. Every step is written to the job log of its slot.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/system_sleep.h"
#include "power/sleep_plan.h"
#include "script/job_tasks.h"

namespace tb {

// Why a cycle run ended.
enum class CycleEnd { CycleLimit, TimeLimit, Stopped };

// Runs the cycle on the calling thread. `control` stops it (the end of its
// job, the program's shutdown); `cycles` counts the sleeps started.
CycleEnd run_sleep_cycle(int slot, const SleepCycleSettings& settings, SystemSleep& machine,
                         const TaskControl& control, std::atomic<uint32_t>& cycles);

}  // namespace tb
