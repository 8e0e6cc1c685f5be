#include "exttools/upload_command.h"

#include <ctime>

#include "common/format.h"
#include "common/text.h"
#include "exttools/agent_notice.h"
#include "exttools/upload_folder.h"
#include "exttools/upload_html_pause.h"
#include "exttools/upload_naming.h"
#include "exttools/upload_settings.h"
#include "exttools/upload_source.h"
#include "platform/host/local_time.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"

namespace tb {

namespace {

constexpr size_t kLongestLogName = 100;

// A log name becomes one remote folder name: no separators, no control characters.
bool acceptable_log_name(const std::string& n) {
    if (trim(n).empty() || utf16_length(n) > kLongestLogName) return false;
    for (unsigned char c : n)
        if (c < 0x20 || c == '/' || c == '\\') return false;
    return true;
}

// Reads the log name and up to five parameters; false when a converter fails.
bool read_upload_args(int slot, const std::string& args, UploadNaming& n) {
    ArgReader r(slot, args);
    if (!r.get_string(0, n.log_name)) return false;
    for (size_t i = 0; i < n.params.size() && r.has(i + 1); ++i)
        if (!r.get_string(i + 1, n.params[i])) return false;
    return true;
}

void report_unreached(int slot, const std::string& echo, const std::string& why) {
    if (!why.empty()) log_text(slot, fmt("LogUpload : %s", why), colour::kGrey);
    log_error_line(slot, "Open FTP Fail, Stop Upload. Please Use Command Sheet to Upload Again.");
    log_error_line(slot, echo);
}

void report_upload(int slot, const FolderUpload& up, const std::string& where) {
    for (const UploadFailure& f : up.failures)
        log_error_line(slot, fmt("LogUpload : %s not uploaded (%s)", f.file_name, f.detail));
    if (up.cancelled)
        log_text(slot, fmt("LogUpload : cancelled after %d of %d files", up.uploaded, up.files), colour::kGrey);
    else
        log_text(slot, fmt("LogUpload : %d of %d files to %s", up.uploaded, up.files, where));
}

void tell_agent(int slot, const AgentAddress& agent, const std::string& description) {
    const AgentAnswer a = notify_agent(agent, description, [slot] { return cancel_requested(slot); });
    switch (a.outcome) {
        case AgentOutcome::Accepted:
        case AgentOutcome::Cancelled:
            return;
        case AgentOutcome::Refused:
            log_text(slot, fmt("LogUpload : agent %s:%d refused the notice", agent.host, agent.port), colour::kGrey);
            return;
        default:
            log_text(slot, fmt("LogUpload : agent %s:%d not reached (%s)", agent.host, agent.port, a.detail),
                     colour::kGrey);
    }
}

}  // namespace

void cmd_LogUpload(int slot, const std::string& args, const std::string& name) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    const std::string echo = fmt("%s(%s);", name, args);
    const std::optional<UploadSource> source = choose_upload_source(slot, name);
    if (!source) return;
    UploadNaming naming;
    if (!read_upload_args(slot, args, naming)) return;
    if (!acceptable_log_name(naming.log_name)) {
        raise_error(slot, kErrParam, fmt("LogName must be a folder name of 1 to %d characters: %s",
                                         static_cast<int>(kLongestLogName), naming.log_name));
        return;
    }
    const LogServerSettings settings = deployed_log_server();
    if (!settings.configured()) {
        log_text(slot, fmt("LogUpload : no log server is set (%s, [%s] Address); nothing uploaded", kLogServerIniName,
                           kLogServerSection),
                 colour::kGrey);
        set_result_number(slot, name, 0);
        return;
    }
    naming.when = host::local_time(std::time(nullptr));
    naming.base_folder = settings.base_folder;
    naming.script_name = source->script_name;
    const std::string remote_folder = upload_remote_folder(naming);

    FolderUpload up;
    {
        HtmlLogPause pause(slot);
        up = upload_folder(settings.server, source->folder, remote_folder, [slot] { return cancel_requested(slot); });
    }
    if (!up.reached && !up.cancelled) {
        report_unreached(slot, echo, up.unreached);
        set_result_number(slot, name, 0);
        return;
    }
    report_upload(slot, up, settings.server.url + remote_folder);
    if (up.reached && !up.cancelled) tell_agent(slot, settings.agent, upload_description(naming));
    set_result_number(slot, name, up.complete() ? 1 : 0);
}

}  // namespace tb
