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

constexpr ArgSpec kIdSpecs[] = {
    {"TimeoutSec", "", ArgType::Number, "3", 0, UINT32_MAX},
};

}  // namespace

void cmd_GetViewID(int slot, const std::string& args, const std::string& name) {
    const auto a = read_args(slot, args, name, kIdSpecs);
    if (!a) return;
    const auto timeout_sec = static_cast<uint32_t>(a->number("TimeoutSec"));
    const ViewerAnswer answer = ask_viewer(slot, kViewerIdQuestion, timeout_sec, {});
    if (viewer_exchange_ended(slot, answer)) return;
    if (answer.reply == ViewerReply::TimedOut) {
        log_text(slot, fmt("GetViewID : no LogView answered in %d sec", timeout_sec), colour::kGrey);
        set_result_string(slot, name, "");
        return;
    }
    log_text(slot, fmt("GetViewID : %s", answer.text));
    set_result_string(slot, name, answer.text);
}

}  // namespace tb
