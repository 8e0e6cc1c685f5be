// The thread that sleeps the machine for one cycle: it waits for the ready
// signal and half a second more, a sleep not begun can be called off, and a
// refusal is handed on with its reason.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "power/sleep_suspender.h"
#include "tests/sleep_fake_machine.h"

using namespace tb;
using namespace std::chrono_literals;
using test::FakeSleepMachine;

namespace {

TEST(SleepSuspender, SleepsOnlyAfterReadyAndTheSettlingPause) {
    FakeSleepMachine machine;
    std::string reason;
    auto timer = machine.arm_wake_timer(10, reason);
    Suspender suspender(machine, SleepState::Hibernate, nullptr);
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(machine.attempts().empty()) << "slept before the waiting side was ready";
    suspender.ready();
    EXPECT_TRUE(timer->wait({}));
    EXPECT_TRUE(suspender.finish());
    EXPECT_EQ(machine.attempts(), (std::vector<SleepState>{SleepState::Hibernate}));
    EXPECT_EQ(machine.pauses(), (std::vector<uint64_t>{Suspender::kSettleMs}));
}

TEST(SleepSuspender, ASleepNotYetBegunIsCalledOff) {
    FakeSleepMachine machine;
    Suspender suspender(machine, SleepState::Suspend, nullptr);
    EXPECT_FALSE(suspender.finish());
    EXPECT_TRUE(machine.attempts().empty());
    EXPECT_FALSE(suspender.finish()) << "a second finish is harmless";
}

TEST(SleepSuspender, ARefusalIsHandedOnWithItsReason) {
    FakeSleepMachine machine;
    machine.refuse_sleep = "a driver vetoed the sleep";
    std::string reason;
    auto timer = machine.arm_wake_timer(10, reason);
    std::string refused;
    {
        Suspender suspender(machine, SleepState::Suspend, [&](const std::string& why) { refused = why; });
        suspender.ready();
        EXPECT_TRUE(timer->wait({}));
    }  // finished by its end
    EXPECT_EQ(refused, "a driver vetoed the sleep");
}

}  // namespace
