// Putting the whole machine to sleep and waking it again by a timer: the
// facility behind the sleep-cycling commands.
//
// The order a caller keeps: arm the wake-up timer first, then enter the sleep
// (on another thread, once the waiting side is ready), and wait for the timer.
// A timer stays fired once it has fired, so a wait that begins late still sees
// it: the wake-up is never missed. A timer that is destroyed is disarmed.
//
// Which machine: the one of the disks in use. On the simulated machine a
// sleep lets the simulated clock run on by the time asleep; elsewhere it is the
// machine this program runs on (Linux: the RTC wake alarm and /sys/power/state;
// Windows: a waitable timer with resume and SetSuspendState). Tests install
// their own with set_system_sleep.
//
// Waking the display (synthetic mouse moves) only has a meaning on Windows;
// on Linux and on the simulated machine it does nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tb {

// S3 (suspend to memory) and S4 (hibernate, to disk).
enum class SleepState : int { Suspend = 3, Hibernate = 4 };

// True when the waiting side has been asked to give up.
using StopCheck = std::function<bool()>;

class WakeTimer {
public:
    virtual ~WakeTimer() = default;
    // Waits until the timer fires: true, or false when `stop` became true
    // first (checked at least every 100 ms of real time).
    virtual bool wait(const StopCheck& stop) = 0;
};

// What an attempt to sleep came to: slept (and resumed), or refused with the
// system's reason.
struct SleepOutcome {
    bool slept = false;
    std::string reason;
};

class SystemSleep {
public:
    virtual ~SystemSleep() = default;

    // Arms a timer that fires `seconds` from now and wakes the machine if it
    // sleeps then. nullptr with `reason` when no such timer can be had (the
    // machine must then not be put to sleep: nothing would wake it).
    virtual std::unique_ptr<WakeTimer> arm_wake_timer(uint32_t seconds, std::string& reason) = 0;

    // Puts the machine into `state` and returns once it has resumed, or at
    // once with the reason when the system refuses.
    virtual SleepOutcome enter(SleepState state) = 0;

    // Makes the display show again after a resume.
    virtual void wake_display() = 0;

    // The machine's time in milliseconds: it only goes forward and counts
    // the time asleep.
    virtual uint64_t now_ms() = 0;

    // Lets `ms` of the machine's time pass: true, or false as soon as `stop`
    // became true (checked at least every 100 ms of real time).
    virtual bool pause(uint64_t ms, const StopCheck& stop) = 0;
};

// The facility in use: the one installed by set_system_sleep, else the one
// of the disk machine in use (the simulated machine's or this machine's).
SystemSleep& system_sleep();
// The same, shared: a thread that sleeps the machine keeps the facility it
// started with even when another one is installed meanwhile.
std::shared_ptr<SystemSleep> shared_system_sleep();

// Installs a facility (tests); nullptr goes back to the default.
void set_system_sleep(std::unique_ptr<SystemSleep> sleep);

// This machine's own facility (platform/linux or platform/windows).
std::unique_ptr<SystemSleep> make_native_system_sleep();

}  // namespace tb
