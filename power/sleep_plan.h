// What a sleep cycle is asked to do: which sleep state (S3, S4 or both in
// turn) and the times and limits of its cycles.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/system_sleep.h"

namespace tb {

// The states a script may name: S3, S4, or S3 and S4 in turn (S3 first).
enum class SleepPlan : int { S3 = 3, S4 = 4, Alternate = 7 };

// "S3", "S4" and, when `allow_alternate`, "S3+S4" (any case); nullopt for
// anything else.
std::optional<SleepPlan> parse_sleep_plan(std::string_view text, bool allow_alternate);

// The state of the next sleep after `previous` (the first sleep of a cycle
// has no previous one).
SleepState next_sleep_state(SleepPlan plan, std::optional<SleepState> previous);

struct SleepCycleSettings {
    SleepPlan plan = SleepPlan::S3;
    uint32_t delay_sec = 5;       // before the first sleep
    uint32_t sleep_sec = 60;      // asleep until the wake-up timer fires
    uint32_t interval_sec = 30;   // awake between a wake-up and the next sleep
    uint32_t limit_sec = 0;       // since the first sleep; 0: none
    uint32_t limit_cycles = 1;    // sleeps; 0: none
    bool stop_by_job_end = true;  // the end of the job that started it stops it
};

}  // namespace tb
