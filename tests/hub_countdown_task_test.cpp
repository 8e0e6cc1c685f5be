// The delayed action of a job: its grey count-down line, the action at zero,
// and the ways the count-down is abandoned without acting.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "power/countdown_task.h"
#include "script/app_context.h"
#include "script/job_log_writer.h"
#include "tests/test_support.h"

using namespace tb;
using namespace std::chrono_literals;

namespace {

class CountdownTask : public ::testing::Test {
protected:
    void SetUp() override { test::fresh_slot(); }
    void TearDown() override { shut_down_job_tasks(); }

    static bool finished(TaskId id, std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (job_task_state(id) == TaskState::Running && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(10ms);
        return job_task_state(id) != TaskState::Running;
    }
    static LogLine line(int index) { return job_log_lines(0).at(static_cast<size_t>(index)); }
};

TEST_F(CountdownTask, CountsTheLineDownInGreyThenActsWithTheLineAtZero) {
    std::atomic<int> acted_on{-1};
    std::atomic<int> left_when_acting{-1};
    const size_t before = job_log_lines(0).size();
    const auto start = std::chrono::steady_clock::now();
    TaskId id = start_countdown_task_on_line(0, "Wait %d Sec for Test...", 2, [&](const TaskControl&, int l) {
        acted_on = l;
        left_when_acting = static_cast<int>(job_log_lines(0).size());
    });
    // The line is there before the call returns.
    ASSERT_EQ(job_log_lines(0).size(), before + 1);
    const int index = static_cast<int>(before);
    EXPECT_EQ(line(index).text, "Wait 2 Sec for Test...");
    EXPECT_EQ(line(index).colour, colour::kGrey);
    std::this_thread::sleep_for(1300ms);
    EXPECT_EQ(line(index).text, "Wait 1 Sec for Test...");
    EXPECT_EQ(acted_on.load(), -1) << "acted before the count reached zero";
    ASSERT_TRUE(finished(id, 3s));
    EXPECT_EQ(job_task_state(id), TaskState::Done);
    EXPECT_EQ(acted_on.load(), index);
    EXPECT_EQ(line(index).text, "Wait 0 Sec for Test...");
    EXPECT_EQ(left_when_acting.load(), index + 1) << "the count-down wrote extra lines";
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);
}

TEST_F(CountdownTask, ActionWithoutLineRuns) {
    std::atomic<bool> acted{false};
    TaskId id = start_countdown_task(0, "Wait %d Sec for PC PowerOff...", 1, [&](const TaskControl&) { acted = true; });
    ASSERT_TRUE(finished(id, 3s));
    EXPECT_TRUE(acted);
}

TEST_F(CountdownTask, CancelFlagAbandonsTheCountWithoutActingOrWriting) {
    std::atomic<bool> acted{false};
    TaskId id = start_countdown_task(0, "Wait %d Sec for SSD PowerOff...", 30, [&](const TaskControl&) { acted = true; });
    const size_t lines = job_log_lines(0).size();
    std::this_thread::sleep_for(200ms);
    const auto cancelled_at = std::chrono::steady_clock::now();
    set_cancel(0);
    ASSERT_TRUE(finished(id, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled_at, 1500ms) << "the cancel flag was noticed late";
    EXPECT_FALSE(acted);
    EXPECT_EQ(job_log_lines(0).size(), lines) << "an abandoned count-down must end silently";
}

TEST_F(CountdownTask, JobEndStopsTheCountWithoutActing) {
    std::atomic<bool> acted{false};
    start_countdown_task(0, "Wait %d Sec for Relay PowerOff...", 30, [&](const TaskControl&) { acted = true; });
    const auto start = std::chrono::steady_clock::now();
    end_job_tasks(0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(running_job_tasks(0), 0u);
    EXPECT_FALSE(acted);
}

TEST_F(CountdownTask, CancelAlreadySetMeansNoAction) {
    set_cancel(0);
    std::atomic<bool> acted{false};
    TaskId id = start_countdown_task(0, "Wait %d Sec...", 1, [&](const TaskControl&) { acted = true; });
    ASSERT_TRUE(finished(id, 3s));
    EXPECT_FALSE(acted);
}

}  // namespace
