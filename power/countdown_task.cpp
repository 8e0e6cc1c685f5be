#include "power/countdown_task.h"

#include <utility>

#include "common/format.h"
#include "script/app_context.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr uint64_t kPollMs = 100;
constexpr uint64_t kSecondMs = 1000;

bool abandoned(int slot, const TaskControl& control) {
    return control.stop_requested() || cancel_requested(slot);
}

// Waits one second in short steps; false when the count-down is abandoned.
bool wait_one_second(int slot, const TaskControl& control) {
    for (uint64_t waited = 0; waited < kSecondMs; waited += kPollMs) {
        if (abandoned(slot, control) || !control.sleep(kPollMs)) return false;
    }
    return !abandoned(slot, control);
}

}  // namespace

TaskId start_countdown_task_on_line(int slot, std::string line_format, uint32_t seconds,
                                    std::function<void(const TaskControl&, int line)> action) {
    const int line = write_line(slot, fmt(line_format, seconds), LineFormat::Normal, 10, colour::kGrey);
    auto body = [slot, line, seconds, format = std::move(line_format),
                 action = std::move(action)](const TaskControl& control) {
        for (uint32_t left = seconds; left > 0;) {
            if (!wait_one_second(slot, control)) return;
            --left;
            rewrite_line(slot, line, fmt(format, left));
        }
        if (abandoned(slot, control)) return;
        action(control, line);
    };
    return start_job_task(slot, "count-down", AtJobEnd::Stop, std::move(body));
}

TaskId start_countdown_task(int slot, std::string line_format, uint32_t seconds,
                            std::function<void(const TaskControl&)> action) {
    return start_countdown_task_on_line(
        slot, std::move(line_format), seconds,
        [action = std::move(action)](const TaskControl& control, int) { action(control); });
}

}  // namespace tb
