// Sleeping the simulated machine: a sleep lasts until the armed wake-up and
// moves the simulated clock there, every sleep is recorded, awake waits run
// at the chosen speed, and a machine set to refuse says why.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/sim/sim_sleep.h"
#include "tests/scoped_environment.h"

using namespace tb;
using tb::sim::SimSleepSettings;
using tb::sim::SimSystemSleep;

namespace {

SimSleepSettings fast(std::string refusal = {}) {
    SimSleepSettings s;
    s.time_scale = 1000;
    s.refusal = std::move(refusal);
    return s;
}

TEST(SimSleep, ASleepLastsUntilTheWakeUpAndIsRecorded) {
    SimSystemSleep machine(fast());
    std::string reason;
    const uint64_t before = machine.now_ms();
    auto timer = machine.arm_wake_timer(600, reason);
    ASSERT_TRUE(timer) << reason;
    const auto real_start = std::chrono::steady_clock::now();
    const SleepOutcome out = machine.enter(SleepState::Hibernate);
    EXPECT_TRUE(out.slept);
    EXPECT_TRUE(timer->wait({}));
    EXPECT_LT(std::chrono::steady_clock::now() - real_start, std::chrono::seconds(2));
    EXPECT_GE(machine.now_ms() - before, 600000u);
    EXPECT_LT(machine.now_ms() - before, 602000u);
    ASSERT_EQ(machine.records().size(), 1u);
    EXPECT_EQ(machine.records()[0].state, SleepState::Hibernate);
    EXPECT_EQ(machine.records()[0].seconds, 600u);
}

TEST(SimSleep, ARefusingMachineSaysWhyAndItsTimerStillFires) {
    SimSystemSleep machine(fast("the simulated system does not sleep"));
    std::string reason;
    auto timer = machine.arm_wake_timer(30, reason);
    ASSERT_TRUE(timer);
    const SleepOutcome out = machine.enter(SleepState::Suspend);
    EXPECT_FALSE(out.slept);
    EXPECT_EQ(out.reason, "the simulated system does not sleep");
    EXPECT_TRUE(machine.records().empty());
    // Awake, the 30 s pass at the machine's speed: 30 ms of real time.
    const auto real_start = std::chrono::steady_clock::now();
    EXPECT_TRUE(timer->wait({}));
    EXPECT_LT(std::chrono::steady_clock::now() - real_start, std::chrono::seconds(2));
}

TEST(SimSleep, AwakeWaitsRunAtTheChosenSpeedAndStopWhenAsked) {
    SimSystemSleep machine(fast());
    const uint64_t before = machine.now_ms();
    const auto real_start = std::chrono::steady_clock::now();
    EXPECT_TRUE(machine.pause(20000, {}));
    EXPECT_LT(std::chrono::steady_clock::now() - real_start, std::chrono::seconds(2));
    EXPECT_GE(machine.now_ms() - before, 19900u);

    EXPECT_FALSE(machine.pause(20000, [] { return true; }));
    std::string reason;
    auto timer = machine.arm_wake_timer(1000, reason);
    EXPECT_FALSE(timer->wait([] { return true; }));
}

TEST(SimSleep, WithoutAnArmedTimerASleepEndsAtOnce) {
    SimSystemSleep machine(fast());
    {
        std::string reason;
        auto timer = machine.arm_wake_timer(100, reason);
    }  // disarmed
    const uint64_t before = machine.now_ms();
    EXPECT_TRUE(machine.enter(SleepState::Suspend).slept);
    EXPECT_LT(machine.now_ms() - before, 1000u);
    EXPECT_EQ(machine.records().at(0).seconds, 0u);
}

TEST(SimSleep, SettingsComeFromTheEnvironment) {
    {
        test::ScopedVariable scale("TAMBLOR_SIM_TIME_SCALE", "250");
        test::ScopedVariable refuse("TAMBLOR_SIM_SLEEP_REFUSE", "no sleeping here");
        const SimSleepSettings s = sim::sim_sleep_settings_from_environment();
        EXPECT_EQ(s.time_scale, 250.0);
        EXPECT_EQ(s.refusal, "no sleeping here");
    }
    test::ScopedVariable bad("TAMBLOR_SIM_TIME_SCALE", "0.001");
    EXPECT_EQ(sim::sim_sleep_settings_from_environment().time_scale, 1.0) << "a slower clock is not offered";
}

}  // namespace
