// Sleeping a Linux machine, with its RTC alarm and power-state files replaced
// by plain files: what is written to them, the refusals when they cannot be
// written, and the boot-time wake-up timer. Nothing here sleeps the machine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/linux/system_sleep_linux.h"
#include "tests/e2e_support.h"

using namespace tb;
using namespace std::chrono_literals;

namespace {

class LinuxSleep : public ::testing::Test {
protected:
    LinuxSleep() : folder_("tamblor-sleep-linux") {
        files_.wakealarm = (folder_.dir() / "wakealarm").string();
        files_.power_state = (folder_.dir() / "state").string();
        std::ofstream(files_.wakealarm) << "";
        std::ofstream(files_.power_state) << "";
    }
    std::string content(const std::string& path) const { return test::read_file(path); }

    test::TempFolder folder_;
    linuxdisk::LinuxSleepFiles files_;
};

TEST_F(LinuxSleep, TheAlarmIsSetForTheTimeAndClearedWithTheTimer) {
    auto machine = linuxdisk::make_linux_system_sleep(files_);
    std::string reason;
    auto timer = machine->arm_wake_timer(75, reason);
    ASSERT_TRUE(timer) << reason;
    EXPECT_EQ(content(files_.wakealarm), "+75");
    timer.reset();
    EXPECT_EQ(content(files_.wakealarm), "0") << "a stale alarm would wake a later sleep";
}

TEST_F(LinuxSleep, SuspendAndHibernateWriteTheirStates) {
    auto machine = linuxdisk::make_linux_system_sleep(files_);
    EXPECT_TRUE(machine->enter(SleepState::Suspend).slept);
    EXPECT_EQ(content(files_.power_state), "mem");
    EXPECT_TRUE(machine->enter(SleepState::Hibernate).slept);
    EXPECT_EQ(content(files_.power_state), "disk");
}

TEST_F(LinuxSleep, MissingFilesAreRefusalsWithTheirReasons) {
    files_.wakealarm = (folder_.dir() / "no-rtc" / "wakealarm").string();
    files_.power_state = (folder_.dir() / "no-power" / "state").string();
    auto machine = linuxdisk::make_linux_system_sleep(files_);
    std::string reason;
    EXPECT_FALSE(machine->arm_wake_timer(5, reason));
    EXPECT_NE(reason.find("no RTC wake alarm"), std::string::npos) << reason;
    EXPECT_NE(reason.find(files_.wakealarm), std::string::npos) << reason;
    const SleepOutcome out = machine->enter(SleepState::Suspend);
    EXPECT_FALSE(out.slept);
    EXPECT_NE(out.reason.find(files_.power_state), std::string::npos) << out.reason;
    EXPECT_NE(out.reason.find("No such file"), std::string::npos) << out.reason;
}

TEST_F(LinuxSleep, TheTimerFiresAfterItsTimeAndAWaitCanBeStopped) {
    auto machine = linuxdisk::make_linux_system_sleep(files_);
    std::string reason;
    auto timer = machine->arm_wake_timer(1, reason);
    ASSERT_TRUE(timer) << reason;
    const uint64_t start = machine->now_ms();
    EXPECT_TRUE(timer->wait({}));
    EXPECT_GE(machine->now_ms() - start, 950u);
    EXPECT_TRUE(timer->wait({})) << "a fired timer stays fired";

    auto later = machine->arm_wake_timer(60, reason);
    const auto real_start = std::chrono::steady_clock::now();
    EXPECT_FALSE(later->wait([] { return true; }));
    EXPECT_FALSE(machine->pause(60000, [] { return true; }));
    EXPECT_LT(std::chrono::steady_clock::now() - real_start, 1s);
}

}  // namespace
