#include "power/one_shot_sleep.h"

#include <memory>
#include <string>

#include "power/sleep_lines.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {
constexpr uint64_t kBeforeSleepMs = 1000;
}  // namespace

void sleep_once(int slot, SleepState state, uint32_t seconds, SystemSleep& machine, const StopCheck& stop) {
    std::string reason;
    std::unique_ptr<WakeTimer> timer = machine.arm_wake_timer(seconds, reason);
    log_text(slot, one_shot_line(state), colour::kYellow);
    if (!timer) {
        // Nothing would wake the machine: it stays awake for the time instead.
        log_error_line(slot, sleep_refused_line(state, reason));
        machine.pause(uint64_t{seconds} * 1000, stop);
        return;
    }
    if (!machine.pause(kBeforeSleepMs, stop)) return;
    // Returns once the machine has resumed (the timer woke it).
    const SleepOutcome outcome = machine.enter(state);
    if (!outcome.slept) log_error_line(slot, sleep_refused_line(state, outcome.reason));
    if (timer->wait(stop)) machine.wake_display();
}

}  // namespace tb
