#include "exttools/tool_commands.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "common/format.h"
#include "common/ini_file.h"
#include "common/text.h"
#include "exttools/command_words.h"
#include "exttools/program_run.h"
#include "exttools/tool_disk_values.h"
#include "exttools/tool_install.h"
#include "exttools/tool_list.h"
#include "exttools/tool_results.h"
#include "platform/child_process.h"
#include "platform/paths.h"
#include "platform/process_names.h"
#include "platform/stop_request.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/extra_commands.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/job_tasks.h"

namespace tb {

namespace {

constexpr uint64_t kBackgroundStartMs = 5000;

std::mutex g_lock;
std::vector<ToolSection> g_tools;

std::string running_check_name(const std::string& tool) { return "Is" + tool + "Running"; }

std::optional<ToolSection> find_tool(const std::string& name, bool running_check) {
    std::lock_guard<std::mutex> hold(g_lock);
    for (const ToolSection& t : g_tools)
        if (iequals(running_check ? running_check_name(t.name) : t.name, name)) return t;
    return std::nullopt;
}

bool disk_state_fits(int slot, const ToolSection& tool) {
    if (tool.mode == ToolDiskMode::Raw && !target_is_raw()) {
        raise_error(slot, kErrRawModeOnly, "Use ChangeDisk() or Partition_Delete() then try again.");
        return false;
    }
    if (tool.mode == ToolDiskMode::Partition && (target_is_raw() || !target_has_volume())) {
        raise_error(slot, kErrNoPartition, "Use ChangeDisk() or Partition_Create() then try again.");
        return false;
    }
    return true;
}

// What a run needs, owned by it (a background run outlives the call).
struct ToolJob {
    ProgramRun run;
    std::string stem;
};

enum class RunEnd { Passed, ErrLine, NotStarted };

// A background run that finishes after its job ended writes into the job's
// HTML log again, and closes it once more when done.
class LateHtmlLog {
public:
    explicit LateHtmlLog(int slot) : slot_(slot), reopened_(reopen_html_log(slot)) {}
    ~LateHtmlLog() {
        if (reopened_ && !app().jobs[0].running.load()) close_job_logs(slot_);
    }
    LateHtmlLog(const LateHtmlLog&) = delete;
    LateHtmlLog& operator=(const LateHtmlLog&) = delete;

private:
    int slot_;
    bool reopened_;
};

// Starts the program and logs its results.
RunEnd run_and_collect(int slot, const ToolJob& job, bool background, const std::function<bool()>& give_up) {
    write_line(slot, "", LineFormat::Normal, 10, colour::kGreen);
    const ProgramOutcome out = run_program(slot, job.run, give_up);
    if (!out.started) return RunEnd::NotStarted;
    ToolResultStyle style;
    style.background = background;
    std::optional<LateHtmlLog> late;
    if (background && tool_results_exist(job.stem)) late.emplace(slot);
    return log_tool_results(slot, job.stem, out.elapsed_ms, style).failed ? RunEnd::ErrLine : RunEnd::Passed;
}

// The job of `slot` is still going and has been cancelled, or the program
// is asked to stop: a background program then ends too. Once its job has
// ended it runs on; the program's exit waits for it.
bool background_gives_up(int slot) {
    return (app().jobs[0].running.load() && cancel_requested(slot)) || stop_requested();
}

void start_in_background(int slot, ToolJob job) {
    std::string task_name = "tool " + path_file_name(job.run.argv.front());
    start_job_task(slot, std::move(task_name), AtJobEnd::Detach,
                   [slot, job = std::move(job)](const TaskControl&) {
                       const std::string program = job.run.argv.front();
                       const RunEnd end = run_and_collect(slot, job, true, [slot] { return background_gives_up(slot); });
                       if (end == RunEnd::NotStarted) log_error_line(slot, ">>>> cannot start " + program);
                       if (end == RunEnd::ErrLine) log_error_line(slot, ">>>> " + path_file_name(program) +
                                                                      " reported an error");
                   });
}

constexpr ArgSpec kToolArgs[] = {
    {"Parameter", "", ArgType::Text, ""},
    {"WaitClose", "", ArgType::Bool, "TRUE"},
};

}  // namespace

size_t install_tool_commands(const std::string& ini_path, const std::string& base_folder) {
    IniFile ini;
    std::vector<ToolSection> tools;
    if (ini.load(ini_path)) tools = read_tool_sections(ini, base_folder);
    std::vector<ExtraCommand> commands;
    for (const ToolSection& t : tools) {
        commands.push_back({t.name, StatementClass::Builtin, kMaskAny, cmd_external_tool,
                            utf16_truncate(fmt("%s( Parameter:\"%s\", WaitClose:TRUE);", t.name, t.parameter), 255)});
        commands.push_back({running_check_name(t.name), StatementClass::Builtin, kMaskAny, cmd_tool_running,
                            fmt("Running = %s();", running_check_name(t.name))});
    }
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_tools = tools;
    }
    install_extra_commands(std::move(commands));
    return tools.size();
}

void cmd_tool_running(int slot, const std::string& args, const std::string& name) {
    const auto tool = find_tool(name, true);
    if (!tool) {
        raise_error(slot, kErrUndefinedCommand, name);
        return;
    }
    set_result_number(slot, name, process_names().running(path_file_name(tool->program)) ? 1 : 0);
}

void cmd_external_tool(int slot, const std::string& args, const std::string& name) {
    const auto tool = find_tool(name, false);
    if (!tool) {
        raise_error(slot, kErrUndefinedCommand, name);
        return;
    }
    write_line(slot, fmt("%s(%s);", name, args), LineFormat::Normal, 10, colour::kGreen);
    if (!disk_state_fits(slot, *tool) || !ensure_tool_installed(slot, *tool)) return;
    if (!file_exists(tool->program)) {
        raise_error(slot, kErrFileOpen, tool->program);
        return;
    }
    auto a = read_args(slot, args, name, kToolArgs);
    if (!a) return;
    const std::string parameter = a->given("Parameter") ? a->text("Parameter") : tool->parameter;
    const auto words = split_command_words(parameter, backslash_escapes_in_command_lines());
    if (!words) {
        raise_error(slot, kErrParam, fmt("%s: Parameter has an unclosed quote: %s", name, parameter));
        return;
    }
    ToolJob job;
    const PlaceholderValues values = placeholder_values(slot);
    job.stem = values.output;
    job.run.argv.push_back(absolute_path(tool->program));
    for (const std::string& w : *words) job.run.argv.push_back(fill_placeholders(w, values));
    job.run.work_folder = path_folder(job.run.argv.front());
    job.run.output_file = job.stem + ".out";
    if (!a->flag("WaitClose")) {
        start_in_background(slot, std::move(job));
        sleep_cancellable(slot, kBackgroundStartMs);
        set_result_number(slot, name, 1);
        return;
    }
    const RunEnd end = run_and_collect(slot, job, false, [slot] { return cancel_requested(slot); });
    if (end == RunEnd::NotStarted) {
        raise_error(slot, kErrFileOpen, "cannot start " + job.run.argv.front());
        return;
    }
    if (end == RunEnd::ErrLine) {
        raise_error(slot, kErrGeneric, "");
        return;
    }
    set_result_number(slot, name, 1);
}

}  // namespace tb
