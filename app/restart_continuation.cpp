#include "app/restart_continuation.h"

#include "common/format.h"
#include "common/text.h"
#include "disk/refind.h"
#include "platform/autostart.h"
#include "platform/paths.h"
#include "power/reboot_continuation.h"
#include "power/reboot_registration.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/job_slot.h"
#include "script/run_resume.h"
#include "script/script_text.h"
#include "script/sync_commands.h"

namespace tb {

namespace {

std::string unquoted(std::string_view v) {
    std::string s = trim(v);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s;
}

bool parse_u32(const std::string& text, uint32_t& out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    out = static_cast<uint32_t>(std::stoul(text));
    return true;
}

ContinuationResult failed(int code, std::string error) {
    return {ContinuationStart::Failed, code, std::move(error)};
}

}  // namespace

std::optional<ContinuationWords> continuation_words(const std::string& sub_params) {
    ContinuationWords w;
    bool location = false, frame = false;
    for (const std::string& item : split(sub_params, '$')) {
        const size_t colon = item.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = to_upper(trim(item.substr(0, colon)));
        const std::string value = unquoted(item.substr(colon + 1));
        uint32_t n = 0;
        if (key == "DRVHW") {
            w.location = value;
            location = !value.empty();
        } else if (key == "FRAME") {
            const size_t slash = value.find('/');
            frame = slash != std::string::npos && parse_u32(value.substr(0, slash), w.frame) &&
                    parse_u32(value.substr(slash + 1), w.limit);
        } else if (key == "REBOOTSYNC" && parse_u32(value, n)) {
            w.reboot_sync = static_cast<int>(n);
        } else if (key == "ERRSTOP" && parse_u32(value, n)) {
            w.error_stop = n != 0;
        }
    }
    if (!location || !frame) return std::nullopt;
    return w;
}

ContinuationResult start_continuation(int slot) {
    JobSlot* js = job_slot(slot);
    std::optional<ContinuationWords> w = continuation_words(app().sub_params);
    if (!js || !w) return {};
    // Consumed at this start: a state that cannot be restored must not be
    // tried again at every start of the machine.
    remove_autorun_value(reboot_value_name(w->frame));
    if (w->error_stop) broadcast_on_error() = true;

    const std::string folder = state_folder();
    std::string error;
    std::optional<SavedRunState> state = load_run_state(folder, w->frame, error);
    if (!state) return failed(kErrFileOpen, "The state saved before the restart cannot be restored: " + error);
    if (!iequals(native_path(state->info.script_path), native_path(js->script_path)))
        return failed(kErrParam, fmt("The state saved before the restart belongs to %s, not to %s",
                                     state->info.script_path, js->script_path));
    if (state->info.disk_location != w->location)
        return failed(kErrParam, fmt("The state saved before the restart belongs to the disk at %s, not at %s",
                                     state->info.disk_location, w->location));
    std::string failure;
    const std::string script = load_script(js->script_path, failure);
    if (!failure.empty()) return failed(kErrFileOpen, fmt("%s (%s)", js->script_path, failure));
    if (!fits_script(*state, script, error))
        return failed(kErrParam, "The state saved before the restart does not fit the script: " + error);
    if (!refind_by_location_text(w->location))
        return failed(kErrOpenDisk, fmt("NO FOUND the disk at %s after the restart", w->location));

    state->info.reboot_limit = w->limit;
    set_pending_resume(slot, std::move(*state));
    remove_run_state(folder, w->frame);
    if (w->reboot_sync > 0) sync_join(slot);
    return {ContinuationStart::Ready, 0, {}};
}

}  // namespace tb
