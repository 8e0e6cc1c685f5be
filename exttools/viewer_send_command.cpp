#include <cstdint>
#include <utility>

#include "common/format.h"
#include "exttools/viewer_command_steps.h"
#include "exttools/viewer_commands.h"
#include "exttools/viewer_exchange.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/job_tasks.h"

namespace tb {

namespace {

constexpr uint64_t kDelayedReturnMs = 200;
constexpr uint64_t kPollMs = 100;
constexpr uint64_t kSecondMs = 1000;

constexpr ArgSpec kSendSpecs[] = {
    {"Command", "", ArgType::Text, ""},
    {"DelayRunSec", "", ArgType::Number, "0", 0, UINT32_MAX},
};

bool abandoned(int slot, const TaskControl& control) { return control.stop_requested() || cancel_requested(slot); }

// One second in short steps; false when the job is cancelled meanwhile.
bool wait_one_second(int slot, const TaskControl& control) {
    for (uint64_t waited = 0; waited < kSecondMs; waited += kPollMs)
        if (abandoned(slot, control) || !control.sleep(kPollMs)) return false;
    return !abandoned(slot, control);
}

// Hands the command over and says so; false with the reason written in red.
bool deliver(int slot, const std::string& command) {
    std::string error;
    if (!send_to_viewer(command, error)) {
        log_error_line(slot, fmt("LogView_Send : %s", error));
        return false;
    }
    log_text(slot, fmt("LogView_Send : %s", command));
    return true;
}

// The delayed form: a grey count-down on its own thread, then the hand-over,
// unless the job is cancelled first. The job's end waits for it.
void start_delayed_send(int slot, std::string command, uint32_t seconds) {
    auto body = [slot, seconds, command = std::move(command)](const TaskControl& control) {
        const int line = write_linef(slot, LineFormat::Normal, 10, colour::kGrey, "Wait %d Sec for LogView_Send...",
                                     seconds);
        for (uint32_t left = seconds; left > 1;) {
            if (!wait_one_second(slot, control)) return;
            --left;
            rewrite_line(slot, line, fmt("Wait %d Sec for LogView_Send...", left));
        }
        if (!wait_one_second(slot, control)) return;
        deliver(slot, command);
    };
    start_job_task(slot, "LogView_Send", AtJobEnd::Join, std::move(body));
}

}  // namespace

void cmd_LogView_Send(int slot, const std::string& args, const std::string& name) {
    const auto a = read_args(slot, args, name, kSendSpecs);
    if (!a) return;
    const std::string& command = a->text("Command");
    if (!viewer_command_usable(slot, command)) return;
    const auto delay = static_cast<uint32_t>(a->number("DelayRunSec"));
    if (delay == 0) {
        if (!deliver(slot, command)) {
            raise_error(slot, kErrGeneric, "LogView_Sync cannot be opened");
            return;
        }
        set_result_number(slot, name, 1);
        return;
    }
    start_delayed_send(slot, command, delay);
    sleep_cancellable(slot, kDelayedReturnMs);
    set_result_number(slot, name, 1);
}

}  // namespace tb
