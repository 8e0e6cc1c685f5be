// The sleep commands on a machine that never sleeps: the cycler's sleeps,
// wake-ups, count-down and limits with every job-log line and its colour,
// how it ends with its job, refused sleeps, the single sleep, and the
// arguments the commands refuse.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "power/sleep_cycle_slot.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/job_tasks.h"
#include "tests/sleep_fake_machine.h"
#include "tests/test_support.h"

using namespace tb;
using namespace std::chrono_literals;
using test::FakeSleepMachine;

namespace {

class SleepCommands : public ::testing::Test {
protected:
    void SetUp() override {
        test::fresh_slot();
        auto fake = std::make_unique<FakeSleepMachine>();
        machine_ = fake.get();
        set_system_sleep(std::move(fake));
    }
    void TearDown() override {
        shut_down_job_tasks();
        set_system_sleep(nullptr);
    }

    // Waits (real time) until the slot's cycler has ended.
    static bool cycler_ends(std::chrono::milliseconds limit = 5s) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (sleep_cycle_running(0) && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(2ms);
        return !sleep_cycle_running(0);
    }
    static bool cycles_reach(uint32_t n, std::chrono::milliseconds limit = 5s) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (sleep_cycles_started(0) < n && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(1ms);
        return sleep_cycles_started(0) >= n;
    }

    // The job-log lines from the first "[PowerState]" line on, as "text|colour"
    // (a console run keeps lines without their trailing blanks).
    static std::vector<std::string> power_lines() {
        std::vector<std::string> out;
        bool started = false;
        for (const LogLine& l : job_log_lines(0)) {
            started = started || l.text.rfind("[PowerState]", 0) == 0;
            if (started) out.push_back(l.text + "|" + colour_name(l.colour));
        }
        return out;
    }
    static std::string colour_name(uint32_t c) {
        switch (c) {
            case colour::kGreen: return "green";
            case colour::kWhite: return "white";
            case colour::kBlue: return "blue";
            case colour::kGrey: return "grey";
            case colour::kRed: return "red";
            case colour::kYellow: return "yellow";
            default: return std::to_string(c);
        }
    }
    static bool has_line(const std::string& text_and_colour) {
        for (const std::string& l : power_lines())
            if (l == text_and_colour) return true;
        return false;
    }
    static int error_code() { return job_slot(0)->error_code; }
    static std::vector<SleepState> states(const std::vector<FakeSleepMachine::Sleep>& sleeps) {
        std::vector<SleepState> out;
        for (const auto& s : sleeps) out.push_back(s.state);
        return out;
    }

    FakeSleepMachine* machine_ = nullptr;
};

constexpr SleepState S3 = SleepState::Suspend;
constexpr SleepState S4 = SleepState::Hibernate;

// ---- the cycle and its limits ----

TEST_F(SleepCommands, OneCycleSleepsOnceWakesAndStopsWithoutAnInterval) {
    EXPECT_EQ(test::run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:60, PowerIntervalSec:30, DelayRunSec:5, "
                        "LimitTimeSec:0, LimitCycle:1, StopByJobEnd:TRUE);"),
              1);
    ASSERT_TRUE(cycler_ends());
    EXPECT_EQ(power_lines(), (std::vector<std::string>{
                                 "[PowerState] Sleep to S3, Cycle:1|green",
                                 "[PowerState] Weakup from S3, Cycle:1, Elapsed Time: 1 min 0.000 sec|white",
                                 "[PowerState] Elapsed Time(sec): 60|white",
                                 "[PowerState] Stop by Cycle Limit|blue",
                             }));
    const auto sleeps = machine_->sleeps();
    ASSERT_EQ(sleeps.size(), 1u);
    EXPECT_EQ(sleeps[0].state, S3);
    // The delay, then the suspender's half second; no count-down second.
    EXPECT_EQ(machine_->pauses(), (std::vector<uint64_t>{5000, 500}));
    EXPECT_EQ(machine_->armed_seconds(), (std::vector<uint32_t>{60}));
    EXPECT_EQ(machine_->display_wakes(), 1);
}

TEST_F(SleepCommands, EverySleepBeginsWithItsWakeUpArmed) {
    test::run("PowerState_S3S4( PowerState:\"S4\", PowerSleepSec:10, PowerIntervalSec:0, DelayRunSec:0, LimitCycle:5);");
    ASSERT_TRUE(cycler_ends());
    const auto sleeps = machine_->sleeps();
    ASSERT_EQ(sleeps.size(), 5u);
    for (const auto& s : sleeps) {
        EXPECT_EQ(s.state, S4);
        EXPECT_TRUE(s.wake_was_armed) << "the machine slept with nothing to wake it";
    }
}

TEST_F(SleepCommands, AlternatingStatesBeginWithS3) {
    test::run("PowerState_S3S4( PowerState:\"s3+S4\", PowerSleepSec:2, PowerIntervalSec:1, DelayRunSec:0, LimitCycle:4);");
    ASSERT_TRUE(cycler_ends());
    EXPECT_EQ(states(machine_->sleeps()), (std::vector<SleepState>{S3, S4, S3, S4}));
    for (const char* l : {"[PowerState] Sleep to S3, Cycle:1|green", "[PowerState] Sleep to S4, Cycle:2|green",
                          "[PowerState] Sleep to S3, Cycle:3|green", "[PowerState] Sleep to S4, Cycle:4|green",
                          "[PowerState] Weakup from S4, Cycle:4, Elapsed Time: 2.000 sec|white",
                          "[PowerState] Stop by Cycle Limit|blue"})
        EXPECT_TRUE(has_line(l)) << l;
    EXPECT_FALSE(has_line("[PowerState] Sleep to S3, Cycle:5|green"));
}

TEST_F(SleepCommands, TheIntervalCountsDownOnOneGreyLineAndClearsIt) {
    std::vector<std::string> seen;  // the count-down line at each second
    machine_->on_pause = [&](uint64_t ms) {
        if (ms != 1000) return;
        const auto lines = job_log_lines(0);
        for (const LogLine& l : lines)
            if (l.colour == colour::kGrey) seen.push_back(l.text);
    };
    test::run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:5, PowerIntervalSec:3, DelayRunSec:0, LimitCycle:2);");
    ASSERT_TRUE(cycler_ends());
    EXPECT_EQ(seen, (std::vector<std::string>{"Next Sleep Remain 3 sec...", "Next Sleep Remain 2 sec...",
                                              "Next Sleep Remain 1 sec..."}));
    // One interval (between the two sleeps), its line cleared at its end.
    EXPECT_EQ(machine_->sleeps().size(), 2u);
    const auto lines = power_lines();
    ASSERT_EQ(lines.size(), 8u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[3], "|grey");
    EXPECT_EQ(lines[4], "[PowerState] Sleep to S3, Cycle:2|green");
}

TEST_F(SleepCommands, NoIntervalGoesBackToSleepRightAfterTheWakeUpLines) {
    test::run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:5, PowerIntervalSec:0, DelayRunSec:0, LimitCycle:2);");
    ASSERT_TRUE(cycler_ends());
    const auto lines = power_lines();
    ASSERT_EQ(lines.size(), 7u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[2], "[PowerState] Elapsed Time(sec): 5|white");
    EXPECT_EQ(lines[3], "[PowerState] Sleep to S3, Cycle:2|green");
    for (uint64_t p : machine_->pauses()) EXPECT_NE(p, 1000u) << "an interval second was waited";
}

TEST_F(SleepCommands, TheTimeLimitCountsFromTheFirstSleep) {
    // Sleeps end 60 s and 150 s after the first began: only the second is past 100 s.
    test::run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:60, PowerIntervalSec:30, DelayRunSec:500, "
              "LimitTimeSec:100, LimitCycle:0);");
    ASSERT_TRUE(cycler_ends());
    EXPECT_EQ(machine_->sleeps().size(), 2u);
    EXPECT_TRUE(has_line("[PowerState] Stop by Time Limit|blue"));
    EXPECT_FALSE(has_line("[PowerState] Stop by Cycle Limit|blue"));
}

TEST_F(SleepCommands, IsS3S4RunningWhileItCyclesAndNotAfterTheLimit) {
    machine_->real_pause = 200us;
    test::run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:1, PowerIntervalSec:2, DelayRunSec:0, LimitCycle:0);");
    ASSERT_TRUE(cycles_reach(2));
    test::run("r = IsS3S4Running();");
    EXPECT_EQ(test::var("r"), "1");
    end_job_tasks(0);
    test::run("r = IsS3S4Running();");
    EXPECT_EQ(test::var("r"), "0");

    test::fresh_slot();
    test::run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:1, PowerIntervalSec:0, DelayRunSec:0, LimitCycle:3);");
    ASSERT_TRUE(cycler_ends());
    test::run("r = IsS3S4Running();");
    EXPECT_EQ(test::var("r"), "0");
    EXPECT_EQ(sleep_cycles_started(0), 3u);
}

// ---- the end of the job and of the program ----

TEST_F(SleepCommands, TheJobsEndStopsACyclerThatStopsByJobEnd) {
    machine_->real_pause = 200us;
    test::run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:1, PowerIntervalSec:30, DelayRunSec:0, LimitCycle:0, "
              "StopByJobEnd:TRUE);");
    ASSERT_TRUE(cycles_reach(2));
    end_job_tasks(0);
    EXPECT_FALSE(sleep_cycle_running(0));
    const auto lines = power_lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "[PowerState] Stop by Job End|blue");
    // The count-down line it left is cleared.
    for (const LogLine& l : job_log_lines(0))
        if (l.colour == colour::kGrey) EXPECT_EQ(l.text, "");
}

TEST_F(SleepCommands, ACyclerThatOutlivesItsJobIsStoppedQuietlyAtShutdown) {
    machine_->real_pause = 200us;
    test::run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:1, PowerIntervalSec:30, DelayRunSec:0, LimitCycle:0, "
              "StopByJobEnd:FALSE);");
    ASSERT_TRUE(cycles_reach(1));
    end_job_tasks(0);
    const uint32_t at_job_end = sleep_cycles_started(0);
    ASSERT_TRUE(cycles_reach(at_job_end + 2)) << "the job's end stopped a cycler that outlives it";
    EXPECT_TRUE(sleep_cycle_running(0));
    shut_down_job_tasks();
    EXPECT_FALSE(sleep_cycle_running(0));
    EXPECT_FALSE(has_line("[PowerState] Stop by Job End|blue"));
}

TEST_F(SleepCommands, ASecondCyclerReplacesTheOneThatRuns) {
    machine_->real_pause = 200us;
    test::run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:1, PowerIntervalSec:30, DelayRunSec:0, LimitCycle:0);");
    ASSERT_TRUE(cycles_reach(1));
    test::run("PowerState_S3S4( PowerState:\"S4\", PowerSleepSec:1, PowerIntervalSec:0, DelayRunSec:0, LimitCycle:1);");
    ASSERT_TRUE(cycler_ends());
    EXPECT_EQ(running_job_tasks(0), 0u) << "the first cycler still runs";
    EXPECT_EQ(machine_->sleeps().back().state, S4);
}

// ---- refused sleeps ----

TEST_F(SleepCommands, ARefusedSleepIsWrittenInRedAndTheCycleStillCounts) {
    machine_->refuse_sleep = "sleep is blocked by policy";
    test::run("PowerState_S3S4( PowerState:\"S3+S4\", PowerSleepSec:7, PowerIntervalSec:0, DelayRunSec:0, LimitCycle:2);");
    ASSERT_TRUE(cycler_ends());
    EXPECT_EQ(machine_->attempts(), (std::vector<SleepState>{S3, S4}));
    EXPECT_EQ(power_lines(),
              (std::vector<std::string>{
                  "[PowerState] Sleep to S3, Cycle:1|green",
                  "[PowerState] The system refused to sleep to S3: sleep is blocked by policy|red",
                  "[PowerState] Weakup from S3, Cycle:1, Elapsed Time: 7.000 sec|white",
                  "[PowerState] Elapsed Time(sec): 7|white",
                  "[PowerState] Sleep to S4, Cycle:2|green",
                  "[PowerState] The system refused to sleep to S4: sleep is blocked by policy|red",
                  "[PowerState] Weakup from S4, Cycle:2, Elapsed Time: 7.000 sec|white",
                  "[PowerState] Elapsed Time(sec): 7|white",
                  "[PowerState] Stop by Cycle Limit|blue",
              }));
}

TEST_F(SleepCommands, WithoutAWakeUpTimerTheMachineIsNeverPutToSleep) {
    machine_->refuse_timer = "no RTC wake alarm";
    test::run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:9, PowerIntervalSec:0, DelayRunSec:0, LimitCycle:1);");
    ASSERT_TRUE(cycler_ends());
    EXPECT_TRUE(machine_->attempts().empty());
    EXPECT_TRUE(has_line("[PowerState] The system refused to sleep to S3: no RTC wake alarm|red"));
    EXPECT_TRUE(has_line("[PowerState] Elapsed Time(sec): 9|white"));
    EXPECT_TRUE(has_line("[PowerState] Stop by Cycle Limit|blue"));
}

// ---- the single sleep ----

TEST_F(SleepCommands, OneShotSleepsOnceAfterASecondAndReturnsAfterTheWakeUp) {
    EXPECT_EQ(test::run("OneShot_S3S4( PowerState:\"s4\", PowerSleepSec:30);"), 1);
    EXPECT_EQ(power_lines(), (std::vector<std::string>{"[PowerState] Sleep to S4|yellow"}));
    const auto sleeps = machine_->sleeps();
    ASSERT_EQ(sleeps.size(), 1u);
    EXPECT_EQ(sleeps[0].state, S4);
    EXPECT_EQ(sleeps[0].asleep_ms, 29000u);  // the timer was armed before the second's wait
    EXPECT_EQ(machine_->pauses(), (std::vector<uint64_t>{1000}));
    EXPECT_EQ(machine_->display_wakes(), 1);
    EXPECT_EQ(running_job_tasks(0), 0u);
}

TEST_F(SleepCommands, OneShotRefusedSaysWhyInRed) {
    machine_->refuse_sleep = "hibernation is off";
    EXPECT_EQ(test::run("OneShot_S3S4( PowerState:\"S4\", PowerSleepSec:30);"), 1);
    EXPECT_EQ(power_lines(), (std::vector<std::string>{
                                 "[PowerState] Sleep to S4|yellow",
                                 "[PowerState] The system refused to sleep to S4: hibernation is off|red",
                             }));
}

// ---- arguments ----

TEST_F(SleepCommands, UnknownStatesAreRefusedWithPowerStateError) {
    for (const char* call : {"PowerState_S3S4( PowerState:\"S5\" );", "PowerState_S3S4( PowerState:\"S3S4\" );",
                             "PowerState_S3S4( PowerState:\"\" );", "OneShot_S3S4( PowerState:\"S3+S4\" );",
                             "OneShot_S3S4( PowerState:\"S1\", PowerSleepSec:5 );"}) {
        test::fresh_slot();
        test::run(call);
        EXPECT_EQ(error_code(), -2) << call;
        EXPECT_NE(job_slot(0)->error_text.find("(PowerState Error)"), std::string::npos) << call;
    }
    EXPECT_TRUE(machine_->armed_seconds().empty());
    EXPECT_FALSE(sleep_cycle_running(0));
}

TEST_F(SleepCommands, NegativeAndOversizedSecondsAreRefusedNotWrapped) {
    // 4294967296 and 4294967297 would be 0 and 1 in 32 bits.
    for (const char* call : {"PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:-1 );",
                             "PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:4294967296 );",
                             "PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:0 );",
                             "PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:2147484 );",
                             "PowerState_S3S4( PowerState:\"S3\", PowerIntervalSec:-5 );",
                             "PowerState_S3S4( PowerState:\"S3\", DelayRunSec:4294967297 );",
                             "PowerState_S3S4( PowerState:\"S3\", LimitTimeSec:-1 );",
                             "PowerState_S3S4( PowerState:\"S3\", LimitCycle:4294967296 );",
                             "OneShot_S3S4( PowerState:\"S3\", PowerSleepSec:-60 );",
                             "OneShot_S3S4( PowerState:\"S3\", PowerSleepSec:4294967356 );"}) {
        test::fresh_slot();
        test::run(call);
        EXPECT_EQ(error_code(), -2) << call;
    }
    EXPECT_TRUE(machine_->armed_seconds().empty());
    EXPECT_TRUE(machine_->attempts().empty());
}

TEST_F(SleepCommands, ArgumentsAreTakenByPositionAndTheLargestSleepIsAccepted) {
    test::run("PowerState_S3S4( \"S4\", 2147483, 0, 0, 0, 1, TRUE );");
    ASSERT_TRUE(cycler_ends());
    EXPECT_EQ(error_code(), 0);
    EXPECT_EQ(machine_->armed_seconds(), (std::vector<uint32_t>{2147483}));
    EXPECT_EQ(states(machine_->sleeps()), (std::vector<SleepState>{S4}));
}

}  // namespace
