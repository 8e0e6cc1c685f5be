#include "platform/sim/sim_sleep.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"

namespace tb::sim {

namespace {

uint64_t real_ms() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

constexpr uint64_t kRealStepMs = 20;  // how often an awake wait looks at its stop

}  // namespace

SimSleepSettings sim_sleep_settings_from_environment() {
    SimSleepSettings s;
    if (const char* scale = std::getenv("TAMBLOR_SIM_TIME_SCALE")) {
        char* end = nullptr;
        const double v = std::strtod(scale, &end);
        if (end != scale && v >= 1.0 && v <= 1e6) s.time_scale = v;
    }
    if (const char* refusal = std::getenv("TAMBLOR_SIM_SLEEP_REFUSE")) s.refusal = refusal;
    return s;
}

class SimWakeTimer final : public WakeTimer {
public:
    SimWakeTimer(SimSystemSleep& machine, uint64_t id, uint64_t due_ms) : machine_(machine), id_(id), due_ms_(due_ms) {}
    ~SimWakeTimer() override { machine_.disarm(id_); }

    bool wait(const StopCheck& stop) override {
        for (;;) {
            const uint64_t now = machine_.now_ms();
            if (now >= due_ms_) return true;
            if (stop && stop()) return false;
            const double scaled_step = static_cast<double>(kRealStepMs) * machine_.settings_.time_scale;
            // Never past the wake-up: a sleep begun meanwhile has already gone there.
            machine_.run_awake(std::min<uint64_t>(due_ms_ - now, static_cast<uint64_t>(scaled_step)), stop, due_ms_);
        }
    }

private:
    SimSystemSleep& machine_;
    uint64_t id_;
    uint64_t due_ms_;
};

SimSystemSleep::SimSystemSleep(SimSleepSettings settings) : settings_(std::move(settings)), start_ms_(real_ms()) {
    if (settings_.time_scale < 1.0) settings_.time_scale = 1.0;
}

uint64_t SimSystemSleep::now_ms() {
    std::lock_guard hold(lock_);
    return real_ms() - start_ms_ + offset_ms_;
}

void SimSystemSleep::advance(uint64_t ms, uint64_t until_ms) {
    uint64_t added = 0;
    {
        std::lock_guard hold(lock_);
        const uint64_t now = real_ms() - start_ms_ + offset_ms_;
        added = until_ms > now ? std::min(ms, until_ms - now) : 0;
        offset_ms_ += added;
    }
    // The disks of the simulated machine live through the same time.
    if (SimMachine* machine = current_sim_machine(); machine && added != 0)
        machine->advance_time(static_cast<double>(added) / 1000.0);
}

bool SimSystemSleep::run_awake(uint64_t ms, const StopCheck& stop, uint64_t until_ms) {
    // Each real step is also lived through by the simulated clock; it runs on
    // by the rest of the scaled step.
    double left_real = static_cast<double>(ms) / settings_.time_scale;
    while (left_real > 0) {
        if (stop && stop()) return false;
        const double step = std::min<double>(left_real, kRealStepMs);
        std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int64_t>(step * 1000.0)));
        advance(static_cast<uint64_t>(step * (settings_.time_scale - 1.0)), until_ms);
        left_real -= step;
    }
    return true;
}

bool SimSystemSleep::pause(uint64_t ms, const StopCheck& stop) { return run_awake(ms, stop); }

std::unique_ptr<WakeTimer> SimSystemSleep::arm_wake_timer(uint32_t seconds, std::string& reason) {
    const uint64_t due = now_ms() + static_cast<uint64_t>(seconds) * 1000;
    std::lock_guard hold(lock_);
    const uint64_t id = next_timer_++;
    armed_timer_ = id;
    armed_due_ms_ = due;
    return std::make_unique<SimWakeTimer>(*this, id, due);
}

void SimSystemSleep::disarm(uint64_t id) {
    std::lock_guard hold(lock_);
    if (armed_timer_ == id) armed_timer_ = 0;
}

SleepOutcome SimSystemSleep::enter(SleepState state) {
    if (!settings_.refusal.empty()) return {false, settings_.refusal};
    uint64_t asleep = 0;
    uint64_t due = 0;
    {
        std::lock_guard hold(lock_);
        const uint64_t now = real_ms() - start_ms_ + offset_ms_;
        // Without an armed timer the machine is woken at once (by its operator).
        if (armed_timer_ != 0 && armed_due_ms_ > now) asleep = armed_due_ms_ - now;
        due = now + asleep;
        records_.push_back({state, static_cast<uint32_t>((asleep + 500) / 1000)});
    }
    advance(asleep, due);
    return {true, {}};
}

std::vector<SimSleepRecord> SimSystemSleep::records() const {
    std::lock_guard hold(lock_);
    return records_;
}

}  // namespace tb::sim
