#include "script/flow_commands.h"

#include <chrono>
#include <thread>

#include "common/format.h"
#include "common/text.h"
#include "platform/autostart.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"

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

namespace {

// The longest delay a script may ask for: the millisecond count must fit the
// 32-bit durations the log lines print (about 49.7 days).
constexpr uint64_t kMaxDelayMs = 0xFFFFFFFFull;

// Milliseconds per unit of the Delay key: "sec", "min", anything else ms.
uint64_t delay_unit_ms(const std::string& key) {
    if (iequals(key, "sec")) return 1000;
    if (iequals(key, "min")) return 60000;
    return 1;
}

// The countdown line is rewritten once a second against one deadline, so a
// long delay does not drift by the time the rewrites take.
void count_down(int slot, uint64_t ms) {
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto end = start + std::chrono::milliseconds(ms);
    const uint64_t secs = ms / 1000;
    int line = write_line(slot, fmt("%s remain %d sec...", "Delay", static_cast<int64_t>(secs)));
    for (uint64_t left = secs; left > 0 && !cancel_requested(slot); --left) {
        rewrite_line(slot, line, fmt("%s remain %d sec...", "Delay", static_cast<int64_t>(left)));
        const auto step_end = start + std::chrono::seconds(secs - left + 1);
        const auto now = clock::now();
        if (step_end > now) sleep_cancellable(slot, static_cast<uint64_t>(
            std::chrono::ceil<std::chrono::milliseconds>(step_end - now).count()));
    }
    const auto now = clock::now();
    if (end > now) sleep_cancellable(slot, static_cast<uint64_t>(
        std::chrono::ceil<std::chrono::milliseconds>(end - now).count()));
    rewrite_line(slot, line, fmt("%s %d sec   ", "Delay", static_cast<int64_t>(secs)));
}

}  // namespace

void cmd_Delay(int slot, const std::string& args, const std::string& name) {
    size_t cursor = 0;
    ArgPair p;
    if (!split_pair(args, cursor, p)) return;
    int64_t value = 0;
    // A value that is no number was already reported while the call was read.
    if (!arg_i64(slot, p.value, value)) return;
    const uint64_t unit = delay_unit_ms(std::string(p.key));
    if (value < 0 || static_cast<uint64_t>(value) > kMaxDelayMs / unit) {
        raise_error(slot, kErrParam,
                    fmt("Delay %s:%d out of range (0 to %d ms)", std::string(p.key), value,
                        static_cast<int64_t>(kMaxDelayMs)));
        return;
    }
    const uint64_t ms = static_cast<uint64_t>(value) * unit;
    if (ms / 1000 > 1) count_down(slot, ms);
    else sleep_cancellable(slot, ms);
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
