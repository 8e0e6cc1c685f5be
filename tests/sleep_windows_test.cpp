// Sleeping a Windows machine: the waitable wake-up timer (armed, waited for,
// stopped). The machine itself is never put to sleep here.
#include <gtest/gtest.h>

#ifdef _WIN32

#include <chrono>

#include "platform/windows/system_sleep_win.h"

using namespace tb;

namespace {

TEST(WindowsSleep, TheWakeUpTimerFiresAfterItsTimeAndStaysFired) {
    auto machine = host::make_windows_system_sleep();
    std::string reason;
    auto timer = machine->arm_wake_timer(1, reason);
    ASSERT_TRUE(timer) << reason;
    const uint64_t start = machine->now_ms();
    EXPECT_TRUE(timer->wait({}));
    EXPECT_GE(machine->now_ms() - start, 900u);
    EXPECT_TRUE(timer->wait({}));
}

TEST(WindowsSleep, WaitsGiveUpWhenAsked) {
    auto machine = host::make_windows_system_sleep();
    std::string reason;
    auto timer = machine->arm_wake_timer(60, reason);
    ASSERT_TRUE(timer) << reason;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(timer->wait([] { return true; }));
    EXPECT_FALSE(machine->pause(60000, [] { return true; }));
    EXPECT_TRUE(machine->pause(50, {}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace

#endif
