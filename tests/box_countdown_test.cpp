// The count-down of a box that answers itself: 20 seconds, the button text
// "OK (19)" after the first second down to 0, and a second length tests can
// shorten.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ui/box_countdown.h"

namespace tb {
namespace {

using namespace std::chrono_literals;

class ScopedSecond {
public:
    explicit ScopedSecond(std::chrono::milliseconds ms) { set_box_second_length(ms); }
    ~ScopedSecond() { set_box_second_length(1000ms); }
};

TEST(BoxCountdown, CountsTwentySecondsAndShowsFromTheFirstOnwards) {
    {
        const BoxCountdown fresh(true);
        EXPECT_TRUE(fresh.running());
        EXPECT_EQ(fresh.seconds_left(), 20);
        EXPECT_FALSE(fresh.showing());
        EXPECT_FALSE(fresh.expired());
    }
    ScopedSecond quick(20ms);
    BoxCountdown countdown(true);
    std::this_thread::sleep_for(countdown.until_next_second() + 2ms);
    // A loaded machine may oversleep by a few seconds of 20 ms; never by none.
    EXPECT_LE(countdown.seconds_left(), 19);
    EXPECT_EQ(countdown.seconds_left(), kBoxCountdownSeconds - countdown.seconds_passed());
    EXPECT_TRUE(countdown.showing());
    std::this_thread::sleep_until(countdown.deadline() + 2ms);
    EXPECT_EQ(countdown.seconds_left(), 0);
    EXPECT_TRUE(countdown.expired());
}

TEST(BoxCountdown, ABoxWithoutAutoOkNeverAnswersItself) {
    BoxCountdown countdown(false);
    EXPECT_FALSE(countdown.running());
    EXPECT_FALSE(countdown.expired());
    EXPECT_FALSE(countdown.showing());
    EXPECT_EQ(countdown.deadline(), BoxCountdown::Clock::time_point::max());
}

TEST(BoxCountdown, TheSecondIsOneSecondUnlessATestShortensIt) {
    EXPECT_EQ(box_second_length(), 1000ms);
    {
        ScopedSecond quick(5ms);
        EXPECT_EQ(box_second_length(), 5ms);
    }
    set_box_second_length(0ms);  // nonsense restores the real second
    EXPECT_EQ(box_second_length(), 1000ms);
}

TEST(BoxCountdown, ButtonTexts) {
    EXPECT_EQ(countdown_label("OK", 19), "OK (19)");
    EXPECT_EQ(countdown_label("Yes", 0), "Yes (0)");
}

}  // namespace
}  // namespace tb
