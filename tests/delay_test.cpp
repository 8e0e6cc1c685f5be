// Delay: the unit key, the range every value must fit, and a countdown that
// waits what it says.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "script/app_context.h"
#include "tests/test_support.h"

using namespace tb;
using tb::test::run_script_text;

namespace {

class DelayTest : public ::testing::Test {
protected:
    void SetUp() override { test::fresh_slot(); }
    std::string out() const { return test::console_output(); }
};

// Runs a script on a thread and reports whether it ended within the limit;
// a run that hangs is cancelled so the test can go on.
bool ends_within(const std::string& script, std::chrono::milliseconds limit, int& code) {
    auto run = std::async(std::launch::async, [&] { return run_script_text(script); });
    if (run.wait_for(limit) == std::future_status::ready) {
        code = run.get();
        return true;
    }
    app().jobs[0].cancel.store(true);
    code = run.get();
    return false;
}

TEST_F(DelayTest, ValuesOutsideTheRangeAreRefused) {
    for (const char* script : {"Delay( sec:-5 );", "Delay( min:4294967295 );", "Delay( sec:99999999999 );",
                               "Delay( ms:-1 );", "Delay( sec:4294968 );"}) {
        SCOPED_TRACE(script);
        test::fresh_slot();
        int code = 0;
        ASSERT_TRUE(ends_within(script, std::chrono::seconds(2), code));
        EXPECT_EQ(code, -2);
        EXPECT_NE(out().find("out of range"), std::string::npos);
    }
}

TEST_F(DelayTest, LargestDelayIsAccepted) {
    // 4294967 s fits the 32-bit millisecond count; the run is cancelled at once.
    app().jobs[0].cancel.store(false);
    auto run = std::async(std::launch::async, [] { return run_script_text("Delay( sec:4294967 );"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    app().jobs[0].cancel.store(true);
    ASSERT_EQ(run.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_NE(out().find("Delay remain 4294967 sec"), std::string::npos);
}

TEST_F(DelayTest, CountdownWaitsTheWholeDelay) {
    const auto start = std::chrono::steady_clock::now();
    int code = 0;
    ASSERT_TRUE(ends_within("Delay( ms:2500 );", std::chrono::seconds(5), code));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(code, 0);
    EXPECT_GE(took, std::chrono::milliseconds(2500));
    EXPECT_LT(took, std::chrono::milliseconds(2900));
    EXPECT_NE(out().find("Delay 2 sec"), std::string::npos);
}

TEST_F(DelayTest, ShortDelaySleepsWithoutCountdown) {
    const auto start = std::chrono::steady_clock::now();
    int code = 0;
    ASSERT_TRUE(ends_within("Delay( ms:300 );", std::chrono::seconds(3), code));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(out().find("remain"), std::string::npos);
}

}  // namespace
