#include "script/flow_commands.h"

#include <chrono>
#include <thread>

#include "common/format.h"
#include "common/text.h"
#include "platform/autostart.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_slot.h"
#include "ui/job_log.h"

namespace tb {

void cmd_Exit(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t code = 0;
    std::string desc;
    // The description may be left out: Exit( ErrCode:3 ) still ends the run.
    if (!r.get_u32(0, code) || (r.has(1) && !r.get_string(1, desc))) return;
    remove_autorun_value("AutoRunOnStartup");
    if (code < 0x10000) raise_error(slot, static_cast<int32_t>(code), desc);
    else raise_error(slot, kErrParam, "ExitCode must < 0xFFFF");
}

void cmd_Break(int slot, const std::string& args, const std::string& name) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    js->break_level = static_cast<int64_t>(js->loop_depth) - 1;
}

void cmd_Delay(int slot, const std::string& args, const std::string& name) {
    size_t cursor = 0;
    ArgPair p;
    if (!split_pair(args, cursor, p)) return;
    uint32_t value = 0;
    if (!arg_u32(slot, p.value, value)) return;
    uint64_t ms = iequals(p.key, "sec") ? value * 1000ull : iequals(p.key, "min") ? value * 60000ull : value;
    uint64_t secs = ms / 1000;
    if (secs > 1) {
        int line = write_line(slot, fmt("%s remain %d sec...", "Delay", static_cast<int64_t>(secs)));
        for (uint64_t left = secs; left > 0 && !cancel_requested(slot); --left) {
            rewrite_line(slot, line, fmt("%s remain %d sec...", "Delay", static_cast<int64_t>(left)));
            sleep_cancellable(slot, 1000);
        }
        rewrite_line(slot, line, fmt("%s %d sec   ", "Delay", static_cast<int64_t>(secs)));
    } else {
        sleep_cancellable(slot, ms);
    }
}

void cmd_SetErrorSkip(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t v = 0;
    JobSlot* js = job_slot(slot);
    if (!js || !r.get_u32(0, v)) return;
    js->vars.set_number("_ErrorSkip", v);
    js->vars.set_number("_ErrorCount", 0);
}

void cmd_GetErrorCount(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    bool show = false;
    r.get_bool(0, show);
    JobSlot* js = job_slot(slot);
    if (!js) return;
    const Value* v = js->vars.find("_ErrorCount");
    int64_t count = v && v->is_number() ? v->num : 0;
    if (show) log_text(slot, fmt("ErrorCount: %d", count));
    set_result_number(slot, name, static_cast<int32_t>(count));
}

void cmd_SetErrorDesc(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string text;
    JobSlot* js = job_slot(slot);
    if (!js || !r.get_string(0, text)) return;
    js->vars.set_string("_ErrorDesc", text);
}

}  // namespace tb
