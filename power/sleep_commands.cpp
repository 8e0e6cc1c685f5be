#include "power/sleep_commands.h"

#include <cstdint>
#include <optional>

#include "platform/system_sleep.h"
#include "power/one_shot_sleep.h"
#include "power/sleep_cycle_slot.h"
#include "power/sleep_lines.h"
#include "power/sleep_plan.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"

namespace tb {

namespace {

// Times are kept in 32 bits; a sleep is also timed in milliseconds in 32
// bits, so it may last at most 2147483 seconds (almost 25 days).
constexpr int64_t kMaxSeconds = 0x7FFFFFFF;
constexpr int64_t kMaxSleepSeconds = 0x7FFFFFFF / 1000;

constexpr ArgSpec kCycleSpecs[] = {
    {"PowerState", "", ArgType::Text, "S3"},
    {"PowerSleepSec", "", ArgType::Number, "60", 1, kMaxSleepSeconds},
    {"PowerIntervalSec", "", ArgType::Number, "30", 0, kMaxSeconds},
    {"DelayRunSec", "", ArgType::Number, "5", 0, kMaxSeconds},
    {"LimitTimeSec", "", ArgType::Number, "0", 0, kMaxSeconds},
    {"LimitCycle", "", ArgType::Number, "1", 0, kMaxSeconds},
    {"StopByJobEnd", "", ArgType::Bool, "TRUE"},
};

constexpr ArgSpec kOneShotSpecs[] = {
    {"PowerState", "", ArgType::Text, "S3"},
    {"PowerSleepSec", "", ArgType::Number, "60", 1, kMaxSleepSeconds},
};

constexpr uint64_t kRunningCheckDelayMs = 1000;

std::optional<SleepPlan> read_plan(int slot, const CommandArgs& a, bool allow_alternate) {
    std::optional<SleepPlan> plan = parse_sleep_plan(a.text("PowerState"), allow_alternate);
    if (!plan) raise_error(slot, kErrParam, kPowerStateError);
    return plan;
}

uint32_t seconds(const CommandArgs& a, const char* key) { return static_cast<uint32_t>(a.number(key)); }

}  // namespace

void cmd_PowerState_S3S4(int slot, const std::string& args, const std::string& name) {
    std::optional<CommandArgs> a = read_args(slot, args, name, kCycleSpecs);
    if (!a) return;
    std::optional<SleepPlan> plan = read_plan(slot, *a, true);
    if (!plan) return;
    SleepCycleSettings s;
    s.plan = *plan;
    s.sleep_sec = seconds(*a, "PowerSleepSec");
    s.interval_sec = seconds(*a, "PowerIntervalSec");
    s.delay_sec = seconds(*a, "DelayRunSec");
    s.limit_sec = seconds(*a, "LimitTimeSec");
    s.limit_cycles = seconds(*a, "LimitCycle");
    s.stop_by_job_end = a->flag("StopByJobEnd");
    start_sleep_cycle(slot, s);
}

void cmd_OneShot_S3S4(int slot, const std::string& args, const std::string& name) {
    std::optional<CommandArgs> a = read_args(slot, args, name, kOneShotSpecs);
    if (!a) return;
    std::optional<SleepPlan> plan = read_plan(slot, *a, false);
    if (!plan) return;
    const SleepState state = *plan == SleepPlan::S4 ? SleepState::Hibernate : SleepState::Suspend;
    sleep_once(slot, state, seconds(*a, "PowerSleepSec"), system_sleep(),
               [slot] { return cancel_requested(slot); });
}

void cmd_IsS3S4Running(int slot, const std::string& args, const std::string& name) {
    // A cycler just started or just at its limit gets a moment to settle.
    system_sleep().pause(kRunningCheckDelayMs, [slot] { return cancel_requested(slot); });
    set_result_number(slot, name, sleep_cycle_running(slot) ? 1 : 0);
}

}  // namespace tb
