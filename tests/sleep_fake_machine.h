// A machine for the sleep tests that never sleeps: its clock is virtual
// (pauses pass at once), a sleep moves the clock to the armed wake-up time,
// and everything asked of it is recorded. It can refuse to sleep or to arm a
// wake-up, and it notes a sleep entered without a live wake-up timer (a
// sleep nothing would end).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/system_sleep.h"

namespace tb::test {

class FakeSleepMachine final : public SystemSleep {
public:
    struct Sleep {
        SleepState state;
        uint64_t asleep_ms;
        bool wake_was_armed;  // a wake-up timer was alive when the sleep began
    };

    // Refusals (empty: none).
    std::string refuse_sleep;
    std::string refuse_timer;
    // Real time each pause takes, so that other threads get a look in.
    std::chrono::microseconds real_pause{0};
    // Called at every pause (before the time passes), on the pausing thread.
    std::function<void(uint64_t ms)> on_pause;

    std::unique_ptr<WakeTimer> arm_wake_timer(uint32_t seconds, std::string& reason) override {
        std::lock_guard hold(lock_);
        armed_seconds_.push_back(seconds);
        if (!refuse_timer.empty()) {
            reason = refuse_timer;
            return nullptr;
        }
        due_ms_ = now_ms_ + uint64_t{seconds} * 1000;
        fired_ = false;
        return std::unique_ptr<WakeTimer>(new Timer(*this));  // counted as live under the lock
    }

    SleepOutcome enter(SleepState state) override {
        std::lock_guard hold(lock_);
        attempts_.push_back(state);
        // Asleep or refused, the wake-up time comes.
        const uint64_t asleep = due_ms_ > now_ms_ ? due_ms_ - now_ms_ : 0;
        now_ms_ += asleep;
        fired_ = true;
        changed_.notify_all();
        if (!refuse_sleep.empty()) return {false, refuse_sleep};
        sleeps_.push_back({state, asleep, live_timers_ > 0});
        return {true, {}};
    }

    void wake_display() override { ++display_wakes_; }

    uint64_t now_ms() override {
        std::lock_guard hold(lock_);
        return now_ms_;
    }

    bool pause(uint64_t ms, const StopCheck& stop) override {
        if (stop && stop()) return false;
        if (on_pause) on_pause(ms);
        if (real_pause.count() > 0) std::this_thread::sleep_for(real_pause);
        std::lock_guard hold(lock_);
        now_ms_ += ms;
        pauses_.push_back(ms);
        return true;
    }

    std::vector<Sleep> sleeps() const {
        std::lock_guard hold(lock_);
        return sleeps_;
    }
    std::vector<SleepState> attempts() const {
        std::lock_guard hold(lock_);
        return attempts_;
    }
    std::vector<uint32_t> armed_seconds() const {
        std::lock_guard hold(lock_);
        return armed_seconds_;
    }
    std::vector<uint64_t> pauses() const {
        std::lock_guard hold(lock_);
        return pauses_;
    }
    int display_wakes() const { return display_wakes_.load(); }

private:
    class Timer final : public WakeTimer {
    public:
        explicit Timer(FakeSleepMachine& m) : m_(m) { ++m_.live_timers_; }
        ~Timer() override {
            std::lock_guard hold(m_.lock_);
            --m_.live_timers_;
        }
        // Fires when a sleep was entered (or refused); gives up after a few
        // real seconds, as a machine nobody put to sleep would never wake.
        bool wait(const StopCheck& stop) override {
            std::unique_lock hold(m_.lock_);
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!m_.fired_) {
                if (stop && stop()) break;
                if (std::chrono::steady_clock::now() > give_up) break;
                m_.changed_.wait_for(hold, std::chrono::milliseconds(5));
            }
            return m_.fired_;
        }

    private:
        FakeSleepMachine& m_;
    };

    mutable std::mutex lock_;
    std::condition_variable changed_;
    uint64_t now_ms_ = 1000000;
    uint64_t due_ms_ = 0;
    bool fired_ = false;
    int live_timers_ = 0;
    std::vector<Sleep> sleeps_;
    std::vector<SleepState> attempts_;
    std::vector<uint32_t> armed_seconds_;
    std::vector<uint64_t> pauses_;
    std::atomic<int> display_wakes_{0};
};

}  // namespace tb::test
