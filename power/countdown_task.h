// A delayed action of a job: a grey line counts the seconds down, rewritten
// once a second, and the action runs when it reaches zero. The count-down
// ends silently, without the action, when the slot's cancel flag is set or
// the job ends (the task is stopped at the job's end).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "script/job_tasks.h"

namespace tb {

// `line_format` holds one %d, the seconds left. Returns at once; the line is
// written before the call returns.
TaskId start_countdown_task(int slot, std::string line_format, uint32_t seconds,
                            std::function<void(const TaskControl&)> action);

// The same, with the index of the count-down line handed to the action so
// that it can rewrite the line once more.
TaskId start_countdown_task_on_line(int slot, std::string line_format, uint32_t seconds,
                                    std::function<void(const TaskControl&, int line)> action);

}  // namespace tb
