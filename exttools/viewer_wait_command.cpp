#include <cstdint>
#include <string>

#include "common/format.h"
#include "exttools/viewer_command_steps.h"
#include "exttools/viewer_commands.h"
#include "exttools/viewer_exchange.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr uint32_t kDotsPerRound = 10;

constexpr ArgSpec kWaitSpecs[] = {
    {"Command", "", ArgType::Text, ""},
    {"TimeoutSec", "", ArgType::Number, "15", 0, UINT32_MAX},
};

std::string untimed_text(const std::string& command) { return fmt("Wait [%s] From LogView", command); }

std::string seconds_left_text(const std::string& command, uint32_t seconds) {
    return fmt("Wait [%s] From LogView %d sec...", command, seconds);
}

// Each second: the seconds left, or one more dot (starting over every ten).
void show_second(int slot, int line, const std::string& command, uint32_t timeout_sec, uint32_t waited) {
    if (timeout_sec != 0) {
        rewrite_line(slot, line, seconds_left_text(command, timeout_sec - waited));
        return;
    }
    rewrite_line(slot, line, untimed_text(command) + std::string(waited % kDotsPerRound, '.'));
}

}  // namespace

void cmd_LogView_Wait(int slot, const std::string& args, const std::string& name) {
    const auto a = read_args(slot, args, name, kWaitSpecs);
    if (!a) return;
    const std::string& command = a->text("Command");
    if (!viewer_command_usable(slot, command)) return;
    const auto timeout_sec = static_cast<uint32_t>(a->number("TimeoutSec"));
    const std::string first = timeout_sec == 0 ? untimed_text(command) : seconds_left_text(command, timeout_sec);
    const int line = write_line(slot, first, LineFormat::Normal, 10, colour::kGrey);
    const ViewerAnswer answer = ask_viewer(slot, command, timeout_sec, [&](uint32_t waited) {
        show_second(slot, line, command, timeout_sec, waited);
    });
    if (viewer_exchange_ended(slot, answer)) return;
    if (answer.reply == ViewerReply::TimedOut) {
        log_error_line(slot, fmt("Wait [%s] From LogView %d sec Timeout", command, timeout_sec));
        log_text(slot, "Result : ", colour::kYellow);
        set_result_string(slot, name, "");
        return;
    }
    log_text(slot, fmt("Result : %s", answer.text), colour::kYellow);
    set_result_string(slot, name, answer.text);
}

}  // namespace tb
