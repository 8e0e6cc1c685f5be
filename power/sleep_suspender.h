// The thread that puts the machine to sleep for one cycle. It waits until
// the waiting side says it is ready (so the wake-up cannot be missed), waits
// half a second more, and enters the sleep; a sleep the system refuses is
// handed to a callback with the reason. Once the wake-up has come, finish()
// calls off a sleep that has not begun yet and waits for the thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/system_sleep.h"

namespace tb {

class Suspender {
public:
    using RefusalSink = std::function<void(const std::string& reason)>;

    Suspender(SystemSleep& machine, SleepState state, RefusalSink on_refused);
    Suspender(const Suspender&) = delete;
    Suspender& operator=(const Suspender&) = delete;
    ~Suspender() { finish(); }

    // The waiting side waits for the wake-up now.
    void ready();
    // Calls off a sleep not yet begun and waits for the thread; true when the
    // machine was asked to sleep.
    bool finish();

    // How long the suspender waits after ready() before it sleeps the machine.
    static constexpr uint64_t kSettleMs = 500;

private:
    void run(SleepState state);

    SystemSleep& machine_;
    RefusalSink on_refused_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool ready_ = false;
    bool called_off_ = false;
    bool entered_ = false;
    std::thread thread_;
};

}  // namespace tb
