#include "script/fn_script.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "common/duration.h"
#include "common/format.h"
#include "common/ini_file.h"
#include "common/text.h"
#include "platform/child_process.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/job_tasks.h"
#include "script/script_text.h"
#include "script/target_path.h"

namespace tb {

namespace {

constexpr uint32_t kScoreColour = colour::kCyan;


std::vector<std::string> read_lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(native_path(path), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A child's "[PNG]" line: "      [PNG]<image>,<linked file>".
void import_image_line(int slot, std::string_view rest) {
    size_t comma = rest.find(',');
    std::string image(trim(rest.substr(0, comma)));
    int index = write_line(slot, image);
    if (index >= 0 && file_exists(image)) attach_image_line(slot, index, image, image);
}

// "<Name>value</Name>" → name and value; false for any other line.
bool parse_xml_value(std::string_view line, std::string& tag, std::string& value) {
    size_t open = line.find('<');
    if (open == std::string::npos || open + 1 >= line.size() || line[open + 1] == '/' || line[open + 1] == '?')
        return false;
    size_t open_end = line.find('>', open);
    size_t close = line.find("</", open_end == std::string::npos ? open : open_end);
    if (open_end == std::string::npos || close == std::string::npos) return false;
    std::string_view name = line.substr(open + 1, open_end - open - 1);
    size_t blank = name.find(' ');
    tag = std::string(name.substr(0, blank));
    value = std::string(line.substr(open_end + 1, close - open_end - 1));
    return !tag.empty();
}

// Waits for a child until it ends or the job is cancelled; false when it did
// not end. Short steps, so that a cancel passes down a chain of nested
// function scripts quickly.
bool wait_child(int slot, ChildProcess& child, const TaskControl* task = nullptr) {
    while (!child.wait_for(100)) {
        if (cancel_requested(slot) || (task && task->stop_requested())) return false;
    }
    return true;
}

// A child that ends with the job that started it, one level deeper.
ChildOptions fn_script_child_options(const std::string& sub_base) {
    ChildOptions o;
    o.work_folder = path_folder(own_program_path());
    // The child's own console output goes to a file beside its outputs: the
    // caller shows what the child logged when it imports the child's outputs.
    o.output_file = path_join(sub_base, "console.txt");
    // Nobody sees the child's prompts, so nobody answers them.
    o.no_input = true;
    o.environment.push_back(fmt("%s=%d", kFnScriptDepthVariable, fn_script_depth() + 1));
    o.end_with_parent = true;
    // The whole tree below a top-level run shares one group of its own.
    o.own_process_group = fn_script_depth() == 0;
    return o;
}

}  // namespace

int fn_script_depth() {
    static const int depth = [] {
        const char* v = std::getenv(kFnScriptDepthVariable);
        if (!v || !*v) return 0;
        char* end = nullptr;
        long n = std::strtol(v, &end, 10);
        // A malformed level is taken as the deepest: nesting stops rather than runs away.
        if (*end != '\0' || n < 0 || n > kMaxFnScriptDepth) return kMaxFnScriptDepth;
        return static_cast<int>(n);
    }();
    return depth;
}

std::vector<std::string>& instance_options() {
    static std::vector<std::string> options;
    return options;
}

std::vector<std::string> fn_script_child_arguments(const std::string& program, const std::string& script,
                                                   const std::string& drive, const std::string& sub_base,
                                                   const std::string& params, bool auto_close) {
    // The command line "%s SCRIPT:\"%s\", DRIVE:\"%s\", ..." as the child's
    // shell would split it: the quotes go, each comma stays with its word.
    std::vector<std::string> argv{program};
    for (const auto& o : instance_options()) argv.push_back(o);
    argv.push_back(fmt("SCRIPT:%s,", script));
    argv.push_back(fmt("DRIVE:%s,", drive));
    argv.push_back("FRAME:4/4,");
    argv.push_back(fmt("SUBBASE:%s,", sub_base));
    argv.push_back(fmt("SUBPARAM:%s,", params));
    argv.push_back(fmt("AUTOCLOSE:%d", auto_close ? 1 : 0));
    return argv;
}

void import_child_outputs(int slot, const std::string& sub_base, int64_t elapsed_ms, bool prefix) {
    std::string png = sub_base + ".PNG";
    if (file_exists(png)) {
        int index = write_line(slot, png);
        if (index >= 0) attach_image_line(slot, index, png, png);
    }
    std::string ini_path = sub_base + ".INI";
    if (file_exists(ini_path)) {
        IniFile ini;
        ini.load(ini_path);
        for (int i = 0;; ++i) {
            auto item = ini.get("Result", fmt("ITEM%d", i));
            if (!item) break;
            std::string text = *item, link;
            if (size_t at = text.find("[LINK]"); at != std::string::npos) {
                link = text.substr(at + 6);
                text.erase(at);
            }
            uint32_t c = text.find("Err") != std::string::npos ? colour::kRed : colour::kWhite;
            write_line(slot, text, LineFormat::Normal, 10, c, LineKind::Text, link);
        }
    }
    for (const auto& line : read_lines(sub_base + ".TXT")) {
        if (size_t at = line.find("      [PNG]"); at != std::string::npos) {
            import_image_line(slot, std::string_view(line).substr(at + 11));
        } else {
            write_line(slot, line);
        }
    }
    for (const auto& line : read_lines(sub_base + ".XML")) {
        std::string tag, value;
        if (!parse_xml_value(line, tag, value)) continue;
        uint32_t c = tag.find("Score") != std::string::npos ? kScoreColour : colour::kWhite;
        log_text(slot, fmt("%-60s : %s", tag, value), c);
    }
    const char* p = prefix ? ">>>> " : "";
    log_text(slot, fmt("%sElapsed Time(ms): %I64d", p, elapsed_ms));
    log_text(slot, fmt("%sElapsed Time    : %s", p, readable_duration(static_cast<uint32_t>(elapsed_ms))));
}

void cmd_CallFnScript(int slot, const std::string& args, const std::string& name) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    log_text(slot, fmt("%s(%s);", name, args));
    ArgReader r(slot, args);
    std::string script, params;
    bool wait = false, auto_close = true;
    if (r.has(0) && !r.get_string(0, script)) return;
    if (r.has(1) && !r.get_string(1, params)) return;
    if (r.has(2)) r.get_bool(2, wait);
    if (r.has(3)) r.get_bool(3, auto_close);
    if (fn_script_depth() >= kMaxFnScriptDepth) {
        raise_error(slot, kErrParam, fmt("function script nesting deeper than %d", kMaxFnScriptDepth));
        return;
    }

    if (!script.empty() && !file_exists(find_script_file(slot, script))) script.clear();
    FileResolve fr = resolve_file_argument(slot, script, false, ".scpt", "Script File");
    if (fr == FileResolve::Cancelled) {
        set_cancel(slot);
        return;
    }
    if (fr == FileResolve::NotFound || !file_exists(script)) {
        raise_error(slot, kErrFileOpen, script);
        return;
    }
    script = absolute_path(native_path(script));

    std::string sub_base = output_stem(slot);
    std::error_code ec;
    std::filesystem::create_directories(sub_base, ec);

    std::vector<std::string> argv = fn_script_child_arguments(own_program_path(), script,
                                                              current_target_path(), sub_base, params,
                                                              auto_close);
    // The last owner of the child ends it: this call when waiting, the
    // background task otherwise (stopped when the job ends).
    auto child = std::make_shared<ChildProcess>();
    auto started = std::chrono::steady_clock::now();
    if (!child->start(argv, fn_script_child_options(sub_base))) {
        raise_error(slot, kErrGeneric, fmt("Cannot start %s", argv[0]));
        return;
    }
    auto finish = [slot, child, sub_base, started](const TaskControl* task) {
        if (!wait_child(slot, *child, task)) return;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                      .count();
        import_child_outputs(slot, sub_base, ms);
    };
    if (wait) {
        finish(nullptr);
        return;
    }
    start_job_task(slot, "CallFnScript " + script, AtJobEnd::Stop,
                   [finish](const TaskControl& task) { finish(&task); });
    for (int i = 0; i < 30 && !cancel_requested(slot); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

}  // namespace tb
