// Background work that belongs to a job: a function script waited for in the
// background, a delayed power action, a tool left running. Each task runs on
// a thread of its own, can be asked to stop, and says what happens to it
// when its job ends.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tb {

enum class TaskState { Running, Done, Stopped };

// What the end of the task's job does with a task still running.
enum class AtJobEnd {
    Join,    // the job's end waits for it
    Stop,    // it is asked to stop, then waited for
    Detach,  // it goes on; only the program's shutdown stops and joins it
};

// What a task body is handed: whether it has been asked to stop, and a sleep
// that wakes at once when it is.
class TaskControl {
public:
    virtual ~TaskControl() = default;
    virtual bool stop_requested() const = 0;
    // Sleeps up to `ms`; false when a stop was asked for (before or during).
    virtual bool sleep(uint64_t ms) const = 0;
};

using TaskBody = std::function<void(const TaskControl&)>;
using TaskId = uint64_t;

// Starts a task for the job of `slot`.
TaskId start_job_task(int slot, std::string name, AtJobEnd at_end, TaskBody body);
// Running until its body returns; Stopped when it returned after a stop request.
TaskState job_task_state(TaskId id);
// Asks a task to stop (its body sees stop_requested and its sleep wakes).
void stop_job_task(TaskId id);
// Tasks of the slot whose body has not returned.
size_t running_job_tasks(int slot);
// The job of `slot` ends: Join tasks are waited for, Stop tasks stopped and
// waited for, Detach tasks left running.
void end_job_tasks(int slot);
// The program ends: every task still there is stopped and joined.
void shut_down_job_tasks();

}  // namespace tb
