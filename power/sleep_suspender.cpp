#include "power/sleep_suspender.h"

namespace tb {

Suspender::Suspender(SystemSleep& machine, SleepState state, RefusalSink on_refused)
    : machine_(machine), on_refused_(std::move(on_refused)) {
    thread_ = std::thread([this, state] { run(state); });
}

void Suspender::ready() {
    {
        std::lock_guard hold(lock_);
        ready_ = true;
    }
    changed_.notify_all();
}

void Suspender::run(SleepState state) {
    {
        std::unique_lock hold(lock_);
        changed_.wait(hold, [this] { return ready_ || called_off_; });
        if (called_off_) return;
    }
    const auto called_off = [this] {
        std::lock_guard hold(lock_);
        return called_off_;
    };
    if (!machine_.pause(kSettleMs, called_off)) return;
    {
        std::lock_guard hold(lock_);
        if (called_off_) return;
        entered_ = true;
    }
    const SleepOutcome outcome = machine_.enter(state);
    if (!outcome.slept && on_refused_) on_refused_(outcome.reason);
}

bool Suspender::finish() {
    {
        std::lock_guard hold(lock_);
        called_off_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard hold(lock_);
    return entered_;
}

}  // namespace tb
