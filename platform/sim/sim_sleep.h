// Sleeping the simulated machine: a sleep lets the simulated clock run on to
// the armed wake-up time at once, and every sleep is recorded (state,
// seconds) so that tests can see what the machine went through.
//
// Awake waits (pauses and wake-up timers of a machine that did not sleep)
// run `time_scale` times faster than the wall clock; the simulated clock runs
// on by the difference. A machine may be set to refuse every sleep with a
// reason. A program run takes both from its environment:
//   TAMBLOR_SIM_TIME_SCALE   the speed-up of awake waits (default 1)
//   TAMBLOR_SIM_SLEEP_REFUSE the reason the simulated system refuses to sleep
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/system_sleep.h"

namespace tb::sim {

struct SimSleepSettings {
    double time_scale = 1.0;
    std::string refusal;  // empty: sleeps are taken
};

// The settings a program run takes from its environment.
SimSleepSettings sim_sleep_settings_from_environment();

struct SimSleepRecord {
    SleepState state = SleepState::Suspend;
    uint32_t seconds = 0;  // time asleep, whole seconds
};

class SimSystemSleep final : public SystemSleep {
public:
    explicit SimSystemSleep(SimSleepSettings settings);

    std::unique_ptr<WakeTimer> arm_wake_timer(uint32_t seconds, std::string& reason) override;
    SleepOutcome enter(SleepState state) override;
    void wake_display() override {}  // the simulated machine has no display
    uint64_t now_ms() override;
    bool pause(uint64_t ms, const StopCheck& stop) override;

    std::vector<SimSleepRecord> records() const;

private:
    friend class SimWakeTimer;
    // Lets `ms` of simulated time pass awake (a scaled moment of real time),
    // the clock never going past `until_ms`.
    bool run_awake(uint64_t ms, const StopCheck& stop, uint64_t until_ms = UINT64_MAX);
    // Moves the simulated clock on by `ms`, but not past `until_ms`.
    void advance(uint64_t ms, uint64_t until_ms = UINT64_MAX);
    void disarm(uint64_t id);

    SimSleepSettings settings_;
    uint64_t start_ms_ = 0;  // the real clock when made
    mutable std::mutex lock_;
    uint64_t offset_ms_ = 0;  // simulated time beyond the real clock
    uint64_t next_timer_ = 1;
    uint64_t armed_timer_ = 0;  // 0: none
    uint64_t armed_due_ms_ = 0;
    std::vector<SimSleepRecord> records_;
};

}  // namespace tb::sim
