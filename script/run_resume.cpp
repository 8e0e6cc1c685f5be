#include "script/run_resume.h"

#include <array>
#include <optional>

#include "common/format.h"
#include "script/error_policy.h"
#include "script/job_slot.h"
#include "script/script_text.h"

namespace tb {

namespace {

std::array<RestartCounters, kSlotCount> g_counters;
std::array<std::optional<SavedRunState>, kSlotCount> g_pending;

bool valid_slot(int slot) { return slot >= 0 && slot < kSlotCount; }

}  // namespace

RestartCounters& restart_counters(int slot) {
    static RestartCounters none;
    if (!valid_slot(slot)) return none = RestartCounters{};
    return g_counters[static_cast<size_t>(slot)];
}

SavedRunState capture_run_state(int slot, const std::string& disk_location) {
    SavedRunState s;
    JobSlot* js = job_slot(slot);
    if (!js) return s;
    std::string raw;
    const size_t used = js->position < js->script.size() ? cut_statement(js->script, js->position, raw) : 0;
    s.vars = js->vars;
    s.main_list = js->main_list;
    s.sub_list = js->sub_list;
    s.loop_list = js->loop_list;
    ScriptInfoImage& i = s.info;
    i.script_path = js->script_path;
    i.disk_location = disk_location;
    i.script_size = js->script.size();
    i.script_digest = text_digest(js->script);
    i.resume_position = js->position + used;
    i.loop_start = js->loop_start;
    i.break_level = js->break_level;
    i.loop_depth = js->loop_depth;
    i.reboot_count = restart_counters(slot).count;
    i.reboot_limit = restart_counters(slot).limit;
    i.output_counter = js->output_counter;
    return s;
}

bool fits_script(const SavedRunState& state, const std::string& script_text, std::string& error) {
    const ScriptInfoImage& i = state.info;
    if (i.script_size != script_text.size() || i.script_digest != text_digest(script_text)) {
        error = fmt("the script %s changed since its state was saved", i.script_path);
        return false;
    }
    if (i.resume_position > script_text.size() || i.loop_start > script_text.size()) {
        error = "the saved position lies outside the script";
        return false;
    }
    if (state.main_list.empty() || state.sub_list.empty()) {
        error = "the saved block lists lack their start entries";
        return false;
    }
    return true;
}

void set_pending_resume(int slot, SavedRunState state) {
    if (valid_slot(slot)) g_pending[static_cast<size_t>(slot)] = std::move(state);
}

bool resume_pending(int slot) { return valid_slot(slot) && g_pending[static_cast<size_t>(slot)].has_value(); }

size_t take_resume_position(int slot) {
    JobSlot* js = job_slot(slot);
    if (!js || !resume_pending(slot)) return 0;
    SavedRunState s = std::move(*g_pending[static_cast<size_t>(slot)]);
    g_pending[static_cast<size_t>(slot)].reset();
    js->vars = std::move(s.vars);
    js->main_list = std::move(s.main_list);
    js->sub_list = std::move(s.sub_list);
    js->loop_list = std::move(s.loop_list);
    js->loop_start = static_cast<size_t>(s.info.loop_start);
    js->break_level = s.info.break_level;
    js->loop_depth = s.info.loop_depth;
    js->output_counter = s.info.output_counter;
    restart_counters(slot) = {s.info.reboot_count, s.info.reboot_limit};
    // The restart that saved the state stopped the run; this run goes on.
    js->vars.set_number("_ErrorCheck", kCheckRunning);
    return static_cast<size_t>(s.info.resume_position);
}

}  // namespace tb
