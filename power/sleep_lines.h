// The job-log texts of sleeping and waking the machine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system_sleep.h"

namespace tb {

constexpr std::string_view kStopByCycleLimit = "[PowerState] Stop by Cycle Limit";
constexpr std::string_view kStopByTimeLimit = "[PowerState] Stop by Time Limit";
constexpr std::string_view kStopByJobEnd = "[PowerState] Stop by Job End";
constexpr std::string_view kPowerStateError = "(PowerState Error)";

// "[PowerState] Sleep to S3, Cycle:1"
std::string sleep_line(SleepState state, uint32_t cycle);
// "[PowerState] Sleep to S3" (a single sleep)
std::string one_shot_line(SleepState state);
// "[PowerState] Weakup from S3, Cycle:1, Elapsed Time: 1 min 0.250 sec "
std::string wake_line(SleepState state, uint32_t cycle, const std::string& elapsed);
// "[PowerState] Elapsed Time(sec): 60"
std::string elapsed_seconds_line(uint64_t seconds);
// "Next Sleep Remain 29 sec..."
std::string countdown_line(uint32_t seconds_left);
// "[PowerState] The system refused to sleep to S3: <reason>"
std::string sleep_refused_line(SleepState state, const std::string& reason);

}  // namespace tb
