#include "platform/shared_wait_stop.h"

#include <algorithm>
#include <thread>

namespace tb {

namespace {

std::atomic<const std::atomic<bool>*>& stop_flag() {
    static std::atomic<const std::atomic<bool>*> flag{nullptr};
    return flag;
}

constexpr int kLongestPauseUs = 20000;

}  // namespace

void set_shared_wait_stop_flag(const std::atomic<bool>* flag) { stop_flag().store(flag); }

bool shared_wait_stop_requested() {
    const std::atomic<bool>* flag = stop_flag().load();
    return flag && flag->load();
}

bool TransitionWait::give_up() {
    const bool stop = shared_wait_stop_requested() || (extra_ && extra_());
    if (!stop) {
        stopping_ = false;
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!stopping_) {
        stopping_ = true;
        stop_seen_ = now;
    }
    return now - stop_seen_ >= kGrace;
}

void TransitionWait::pause() {
    std::this_thread::sleep_for(std::chrono::microseconds(pause_us_));
    pause_us_ = std::min(pause_us_ * 2, kLongestPauseUs);
}

}  // namespace tb
