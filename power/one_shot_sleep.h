// One sleep of the machine on the job's own thread: arm the wake-up, say so,
// sleep after a second, and return once the wake-up has come.
#pragma once

#include <cstdint>

#include "platform/system_sleep.h"

namespace tb {

// `stop` ends the wait for the wake-up early (the job's cancel flag). A sleep
// the system refuses is written to the job log in red; the wait for the
// wake-up time is kept either way.
void sleep_once(int slot, SleepState state, uint32_t seconds, SystemSleep& machine, const StopCheck& stop);

}  // namespace tb
