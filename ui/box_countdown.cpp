#include "ui/box_countdown.h"

#include <algorithm>
#include <atomic>

#include "common/format.h"

namespace tb {

namespace {

constexpr std::chrono::milliseconds kSecond(1000);

std::atomic<int64_t>& second_ms() {
    static std::atomic<int64_t> ms{kSecond.count()};
    return ms;
}

}  // namespace

std::chrono::milliseconds box_second_length() { return std::chrono::milliseconds(second_ms().load()); }

void set_box_second_length(std::chrono::milliseconds length) {
    second_ms().store(length.count() > 0 ? length.count() : kSecond.count());
}

BoxCountdown::BoxCountdown(bool running) : running_(running), start_(Clock::now()) {}

int BoxCountdown::seconds_passed() const {
    if (!running_) return 0;
    const auto passed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
    return static_cast<int>(std::min<int64_t>(passed / box_second_length(), kBoxCountdownSeconds));
}

int BoxCountdown::seconds_left() const { return kBoxCountdownSeconds - seconds_passed(); }

BoxCountdown::Clock::duration BoxCountdown::until_next_second() const {
    if (!running_) return std::chrono::hours(24);
    const auto second = box_second_length();
    const auto next = start_ + second * (seconds_passed() + 1);
    return std::max<Clock::duration>(next - Clock::now(), Clock::duration::zero());
}

BoxCountdown::Clock::time_point BoxCountdown::deadline() const {
    if (!running_) return Clock::time_point::max();
    return start_ + box_second_length() * kBoxCountdownSeconds;
}

std::string countdown_label(std::string_view button, int seconds_left) {
    return fmt("%s (%d)", std::string(button), seconds_left);
}

}  // namespace tb
