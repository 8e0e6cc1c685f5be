// When waits on the objects the instances share give up.
//
// A wait for a lock or a transition of a shared object ends when the job is
// stopped (the Stop command, a broadcast stop, SIGTERM or SIGINT all set the
// job's cancel flag), so that a peer that holds an object for ever - stuck,
// stopped or hostile - can never keep an instance from ending. The flag is
// registered once per process; a wait may add a stop condition of its own.
//
// Locks that order short transitions (a few instructions long) are still
// tried for a moment after a stop, so that the clean-up of a stopped job -
// leaving the barrier, releasing its locks - goes through while the peers
// behave.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>

namespace tb {

using StopCondition = std::function<bool()>;

void set_shared_wait_stop_flag(const std::atomic<bool>* flag);
bool shared_wait_stop_requested();

// Tracks one wait for a short-lived lock.
class TransitionWait {
public:
    static constexpr std::chrono::milliseconds kGrace{1000};

    explicit TransitionWait(StopCondition extra = {}) : extra_(std::move(extra)) {}
    // Whether to give up now: a stop has been requested for longer than the grace.
    bool give_up();
    // Sleeps a little before the next attempt (longer as the wait goes on).
    void pause();

private:
    StopCondition extra_;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point stop_seen_{};
    int pause_us_ = 200;
};

}  // namespace tb
