// Background work of a job: state, stop, and what the job's end and the
// program's shutdown do with each kind of task.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "script/job_tasks.h"

using namespace tb;
using namespace std::chrono_literals;

namespace {

class JobTasks : public ::testing::Test {
protected:
    void TearDown() override { shut_down_job_tasks(); }
};

bool eventually(const std::function<bool()>& cond) {
    for (int i = 0; i < 200 && !cond(); ++i) std::this_thread::sleep_for(10ms);
    return cond();
}

TEST_F(JobTasks, StateFollowsTheBodyAndAStopWakesItsSleep) {
    std::atomic<bool> woke_early{false};
    const auto start = std::chrono::steady_clock::now();
    TaskId id = start_job_task(0, "sleeper", AtJobEnd::Stop, [&](const TaskControl& c) {
        woke_early = !c.sleep(60000);
    });
    EXPECT_EQ(job_task_state(id), TaskState::Running);
    EXPECT_EQ(running_job_tasks(0), 1u);
    stop_job_task(id);
    ASSERT_TRUE(eventually([&] { return job_task_state(id) != TaskState::Running; }));
    EXPECT_EQ(job_task_state(id), TaskState::Stopped);
    EXPECT_TRUE(woke_early);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    TaskId quick = start_job_task(0, "quick", AtJobEnd::Join, [](const TaskControl&) {});
    ASSERT_TRUE(eventually([&] { return job_task_state(quick) == TaskState::Done; }));
}

TEST_F(JobTasks, JobEndWaitsForJoinTasksAndStopsStopTasks) {
    std::atomic<bool> joined_finished{false}, stopped_saw_stop{false};
    start_job_task(0, "join", AtJobEnd::Join, [&](const TaskControl& c) {
        c.sleep(200);
        joined_finished = true;
    });
    start_job_task(0, "stop", AtJobEnd::Stop, [&](const TaskControl& c) {
        while (c.sleep(50)) {
        }
        stopped_saw_stop = c.stop_requested();
    });
    const auto start = std::chrono::steady_clock::now();
    end_job_tasks(0);
    EXPECT_TRUE(joined_finished);
    EXPECT_TRUE(stopped_saw_stop);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(running_job_tasks(0), 0u);
}

TEST_F(JobTasks, DetachedTasksOutliveTheJobUntilShutdown) {
    std::atomic<bool> stopped{false};
    TaskId id = start_job_task(0, "detached", AtJobEnd::Detach, [&](const TaskControl& c) {
        while (c.sleep(20)) {
        }
        stopped = true;
    });
    end_job_tasks(0);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(job_task_state(id), TaskState::Running);
    EXPECT_FALSE(stopped);
    shut_down_job_tasks();
    EXPECT_TRUE(stopped);
}

TEST_F(JobTasks, OtherSlotsAreNotTouchedByAJobsEnd) {
    TaskId other = start_job_task(1, "other", AtJobEnd::Stop, [](const TaskControl& c) {
        while (c.sleep(20)) {
        }
    });
    end_job_tasks(0);
    EXPECT_EQ(job_task_state(other), TaskState::Running);
}

}  // namespace
