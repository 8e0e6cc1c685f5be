// The count-down of a box that answers itself (AutoOK): 20 seconds from the
// moment the box is shown. After each whole second the first button reads
// "OK (19)", "OK (18)", ... "OK (0)", and at 0 the box closes with its
// current choice. Every form of the boxes (window, terminal) counts with this.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace tb {

constexpr int kBoxCountdownSeconds = 20;

class BoxCountdown {
public:
    using Clock = std::chrono::steady_clock;

    // Starts now when `running`; a box without AutoOK has one that never ends.
    explicit BoxCountdown(bool running);

    bool running() const { return running_; }
    // Whole seconds passed since the start (0 without a count-down).
    int seconds_passed() const;
    // Seconds left: 20 at the start, 0 when the box answers itself.
    int seconds_left() const;
    bool expired() const { return running_ && seconds_left() <= 0; }
    // Whether the button shows the seconds left yet (after the first second).
    bool showing() const { return running_ && seconds_passed() >= 1; }
    // The time until the next second begins (a long time without a count-down).
    Clock::duration until_next_second() const;
    // When the box answers itself (never without a count-down).
    Clock::time_point deadline() const;

private:
    bool running_;
    Clock::time_point start_;
};

// The first button's text while counting: "OK (19)", "Yes (3)".
std::string countdown_label(std::string_view button, int seconds_left);

// The length of one count-down second: one second, unless a test makes the
// count-down quicker. Process-wide.
std::chrono::milliseconds box_second_length();
void set_box_second_length(std::chrono::milliseconds length);

}  // namespace tb
