#include "power/sleep_cycler.h"

#include <memory>
#include <optional>
#include <string>

#include "common/duration.h"
#include "power/sleep_lines.h"
#include "power/sleep_suspender.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

class Cycler {
public:
    Cycler(int slot, const SleepCycleSettings& settings, SystemSleep& machine, const TaskControl& control,
           std::atomic<uint32_t>& cycles)
        : slot_(slot), settings_(settings), machine_(machine), control_(control), cycles_(cycles) {}

    CycleEnd run() {
        if (settings_.delay_sec != 0 && !pause_seconds(settings_.delay_sec)) return stopped();
        run_start_ms_ = machine_.now_ms();
        for (;;) {
            if (!sleep_and_wake()) return stopped();
            if (std::optional<CycleEnd> end = limit_reached()) return *end;
            if (!wait_interval()) return stopped();
        }
    }

private:
    StopCheck stop_check() const {
        return [this] { return control_.stop_requested(); };
    }
    bool pause_seconds(uint32_t seconds) { return machine_.pause(uint64_t{seconds} * 1000, stop_check()); }

    // One sleep: arm the wake-up, let the suspender sleep the machine once
    // this thread waits, wait for the wake-up. False when stopped meanwhile.
    bool sleep_and_wake() {
        const uint32_t cycle = ++cycles_;
        state_ = next_sleep_state(settings_.plan, state_);
        const uint64_t sleep_start_ms = machine_.now_ms();
        std::string reason;
        std::unique_ptr<WakeTimer> timer = machine_.arm_wake_timer(settings_.sleep_sec, reason);
        log_text(slot_, sleep_line(*state_, cycle), colour::kGreen);
        if (!timer) {
            // Nothing would wake the machine: it stays awake for the time instead.
            log_error_line(slot_, sleep_refused_line(*state_, reason));
            if (!pause_seconds(settings_.sleep_sec)) return false;
        } else {
            const SleepState state = *state_;
            Suspender suspender(machine_, state, [this, state](const std::string& why) {
                log_error_line(slot_, sleep_refused_line(state, why));
            });
            suspender.ready();
            const bool woken = timer->wait(stop_check());
            suspender.finish();
            if (!woken) return false;
        }
        timer.reset();
        machine_.wake_display();
        const uint64_t elapsed_ms = machine_.now_ms() - sleep_start_ms;
        log_text(slot_, wake_line(*state_, cycle, readable_duration(static_cast<uint32_t>(elapsed_ms))));
        log_text(slot_, elapsed_seconds_line(elapsed_ms / 1000));
        return true;
    }

    std::optional<CycleEnd> limit_reached() {
        std::optional<CycleEnd> end;
        if (settings_.limit_cycles != 0 && cycles_ >= settings_.limit_cycles) {
            log_text(slot_, kStopByCycleLimit, colour::kBlue);
            end = CycleEnd::CycleLimit;
        }
        if (settings_.limit_sec != 0 && machine_.now_ms() - run_start_ms_ > uint64_t{settings_.limit_sec} * 1000) {
            log_text(slot_, kStopByTimeLimit, colour::kBlue);
            if (!end) end = CycleEnd::TimeLimit;
        }
        return end;
    }

    // The count-down line until the next sleep, cleared at its end.
    bool wait_interval() {
        if (settings_.interval_sec == 0) return true;
        const int line = log_text(slot_, "Wait", colour::kGrey);
        for (uint32_t left = settings_.interval_sec; left > 0; --left) {
            if (control_.stop_requested()) {
                rewrite_line(slot_, line, "");
                return false;
            }
            rewrite_line(slot_, line, countdown_line(left));
            if (!pause_seconds(1)) {
                rewrite_line(slot_, line, "");
                return false;
            }
        }
        rewrite_line(slot_, line, "");
        return true;
    }

    // The end of the job says so; the program's shutdown ends a cycler that
    // outlived its job without a word.
    CycleEnd stopped() {
        if (settings_.stop_by_job_end) log_text(slot_, kStopByJobEnd, colour::kBlue);
        return CycleEnd::Stopped;
    }

    int slot_;
    const SleepCycleSettings& settings_;
    SystemSleep& machine_;
    const TaskControl& control_;
    std::atomic<uint32_t>& cycles_;
    std::optional<SleepState> state_;
    uint64_t run_start_ms_ = 0;
};

}  // namespace

CycleEnd run_sleep_cycle(int slot, const SleepCycleSettings& settings, SystemSleep& machine,
                         const TaskControl& control, std::atomic<uint32_t>& cycles) {
    return Cycler(slot, settings, machine, control, cycles).run();
}

}  // namespace tb
