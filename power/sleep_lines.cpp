#include "power/sleep_lines.h"

#include "common/format.h"

namespace tb {

namespace {
int state_number(SleepState state) { return static_cast<int>(state); }
}  // namespace

std::string sleep_line(SleepState state, uint32_t cycle) {
    return fmt("[PowerState] Sleep to S%d, Cycle:%d", state_number(state), cycle);
}

std::string one_shot_line(SleepState state) { return fmt("[PowerState] Sleep to S%d", state_number(state)); }

// "Weakup" is the word the logs have always carried; scripts and log readers look for it.
std::string wake_line(SleepState state, uint32_t cycle, const std::string& elapsed) {
    return fmt("[PowerState] Weakup from S%d, Cycle:%d, Elapsed Time: %s", state_number(state), cycle, elapsed);
}

std::string elapsed_seconds_line(uint64_t seconds) {
    return fmt("[PowerState] Elapsed Time(sec): %I64d", static_cast<int64_t>(seconds));
}

std::string countdown_line(uint32_t seconds_left) { return fmt("Next Sleep Remain %d sec...", seconds_left); }

std::string sleep_refused_line(SleepState state, const std::string& reason) {
    return fmt("[PowerState] The system refused to sleep to S%d: %s", state_number(state), reason);
}

}  // namespace tb
