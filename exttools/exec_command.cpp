#include "exttools/exec_command.h"

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_record.h"
#include "exttools/bounded_text.h"
#include "exttools/command_words.h"
#include "exttools/program_run.h"
#include "platform/child_process.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"

namespace tb {

namespace {

constexpr int64_t kShortWaitMs = 3000;
constexpr size_t kResultLineChars = 2048;

constexpr ArgSpec kExecArgs[] = {
    {"AssignFolder", "", ArgType::Text, ""},
    {"CmdLine", "", ArgType::Text, ""},
    {"ResultFile", "", ArgType::Text, ""},
    {"WaitClose", "", ArgType::Bool, "TRUE"},
};

// The device %Disk% stands for in a command line: the device node of one of
// this machine's disks under Linux, else the disk's device path.
std::string device_of(const DiskRecord& d) {
    if (d.record_kind == kRecordDisk && !d.native_path.empty() && d.native_path.front() == '/') return d.native_path;
    return d.record_kind == kRecordDisk ? d.device_path : fmt("\\\\.\\PHYSICALDRIVE%d", d.disk_number);
}

void log_result_file(int slot, const std::string& path) {
    TextLimits limits;
    limits.max_line_chars = kResultLineChars;
    const BoundedText text = read_bounded_text(path, limits);
    if (text.binary) {
        log_text(slot, fmt("Result : %s is not a text file", path_file_name(path)), colour::kYellow);
        return;
    }
    for (const std::string& line : text.lines) log_text(slot, "Result : " + line, colour::kYellow);
    if (text.cut) log_text(slot, fmt("Result : the rest of %s is not shown", path_file_name(path)), colour::kGrey);
}

}  // namespace

void cmd_Exec(int slot, const std::string& args, const std::string& name) {
    auto a = read_args(slot, args, name, kExecArgs);
    if (!a) return;
    const std::string line = a->text("CmdLine");
    if (trim(line).empty()) {
        raise_error(slot, kErrParam, fmt("%s: CmdLine names no program", name));
        return;
    }
    std::string folder = a->text("AssignFolder");
    if (folder.empty())
        if (const JobSlot* js = job_slot(slot)) folder = path_folder(js->script_path);
    folder = absolute_path(folder.empty() ? "." : folder);
    if (!folder_exists(folder)) {
        raise_error(slot, kErrFileOpen, folder);
        return;
    }
    log_text(slot, fmt("Work Folder : %s", folder), colour::kGrey);
    const auto words = split_command_words(line, backslash_escapes_in_command_lines());
    if (!words || words->empty()) {
        raise_error(slot, kErrParam, fmt("%s: CmdLine has an unclosed quote: %s", name, line));
        return;
    }
    ProgramRun run;
    const std::string device = device_of(current_target());
    for (const std::string& w : *words) run.argv.push_back(replace_all(w, "%Disk%", device));
    run.work_folder = folder;
    run.output_file = output_stem(slot) + ".out";
    resolve_program(run);
    const std::string result_file = a->text("ResultFile");
    const bool wait = !result_file.empty() || a->flag("WaitClose");
    const ProgramOutcome out =
        run_program(slot, run, [slot] { return cancel_requested(slot); }, wait ? -1 : kShortWaitMs);
    if (!out.started) {
        raise_error(slot, kErrFileOpen, "cannot start " + run.argv.front());
        return;
    }
    if (!result_file.empty()) {
        const std::string path = path_join(folder, result_file);
        if (file_exists(path)) log_result_file(slot, path);
    }
    set_result_number(slot, name, out.ended ? out.exit_code : 0);
}

}  // namespace tb
