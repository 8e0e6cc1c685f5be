#include "script/run_job.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "common/duration.h"
#include "common/format.h"
#include "common/text.h"
#include "platform/host/local_time.h"
#include "platform/host/temp_folder.h"
#include "platform/paths.h"
#include "platform/process_identity.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/fn_script.h"
#include "script/global_var.h"
#include "script/interpreter.h"
#include "script/job_events.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/job_tasks.h"
#include "script/run_resume.h"
#include "script/script_text.h"
#include "script/sync_commands.h"

namespace tb {

namespace {


std::tm local_now() {
    return host::local_time(std::time(nullptr));
}

std::string temp_root() {
    return utf8_path(host::temp_folder());
}

// The work folder is made once per process when start-up has not made one.
std::string ensure_work_folder() {
    AppContext& a = app();
    if (!a.work_folder.empty()) return a.work_folder;
    std::tm tm = local_now();
    std::string base = fmt("%s\\TamblorLite", temp_root());
    std::error_code ec;
    std::filesystem::create_directories(fs_path(base), ec);
    for (int n = 0; n < 1000; ++n) {
        std::string candidate = native_path(fmt("%s\\%04d%02d%02d-%02d%02d%02d-%d-%d", base, tm.tm_year + 1900,
                                                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                                                static_cast<int>(current_process_id()), n));
        if (std::filesystem::create_directory(fs_path(candidate), ec)) {
            a.work_folder = candidate;
            return candidate;
        }
    }
    return {};
}

bool remove_file(const std::string& path) {
    std::error_code ec;
    return std::filesystem::remove(fs_path(path), ec);
}

void write_utf16_file(const std::string& path, const std::string& text) {
    std::u16string w = to_utf16(text);
    std::ofstream out(fs_path(path), std::ios::binary | std::ios::trunc);
    for (char16_t c : w) {
        char b[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        out.write(b, 2);
    }
}

}  // namespace

bool create_job_log_folder(int slot) {
    JobSlot* js = job_slot(slot);
    if (!js) return false;
    std::string work = ensure_work_folder();
    if (work.empty()) return false;
    std::tm tm = local_now();
    std::error_code ec;
    for (int n = 0; n < 1000; ++n) {
        std::string folder = native_path(fmt("%s\\Log_%04d%02d%02d_%02d%02d%02d%s", work, tm.tm_year + 1900,
                                             tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                                             n ? fmt("_%d", n) : std::string()));
        if (std::filesystem::create_directory(fs_path(folder), ec)) {
            js->log_folder = folder;
            return true;
        }
    }
    return false;
}

void write_init_params(int slot, const std::string& sub_params) {
    JobSlot* js = job_slot(slot);
    if (!js || sub_params.empty()) return;
    if (sub_params.find('$') == std::string::npos) {
        log_text(slot, fmt("FnScript Param: %s", sub_params));
        return;
    }
    std::vector<std::string> items;
    size_t pos = 0;
    while (pos < sub_params.size() && items.size() < 20) {
        size_t d = sub_params.find('$', pos);
        std::string item = sub_params.substr(pos, d == std::string::npos ? std::string::npos : d - pos);
        items.push_back(utf16_truncate(item, 255));
        if (d == std::string::npos) break;
        pos = d + 1;
    }
    std::string text;
    int plain = 0;
    for (const auto& item : items) {
        if (item.empty()) continue;
        if (item.find("--") != std::string::npos) {
            text += fmt("Init_Command:%s\n", item);
        } else if (size_t eq = item.find('='); eq != std::string::npos) {
            text += fmt("%s:%s\n", item.substr(0, eq), item.substr(eq + 1));
        } else {
            text += fmt("Init_Param%d:%s\n", plain++, item);
        }
    }
    write_utf16_file(path_join(js->log_folder, "_InitParam.txt"), text);
}

void end_of_run(int slot, bool cancelled) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    // Background work of the job (function scripts among it) ends with it.
    end_job_tasks(slot);
    close_job_logs(slot);
    if (!js->log_folder.empty()) {
        remove_file(path_join(js->log_folder, "_InitParam.txt"));
        remove_file(path_join(js->log_folder, "_Result.txt"));
        if (!js->log_copy_folder.empty()) {
            std::error_code ec;
            std::filesystem::create_directories(fs_path(js->log_copy_folder), ec);
            std::filesystem::copy(fs_path(js->log_folder), fs_path(js->log_copy_folder),
                                  std::filesystem::copy_options::overwrite_existing |
                                      std::filesystem::copy_options::recursive,
                                  ec);
        }
    }
    release_global_mutex_if_held();
    leave_sync_group(slot);
    if (!cancelled && (js->sub_list.size() > 1 || js->main_list.size() > 1))
        raise_error(slot, kErrLoseBlockEnd, "");
    js->loop_list.clear();
    js->script.clear();
}

namespace {

// A script that cannot be read (missing, a folder, no permission) ends the
// job with -11 naming the path and the reason; it is never an empty run.
int refuse_script(int slot, const std::string& reason) {
    JobSlot* js = job_slot(slot);
    open_job_logs(slot);
    raise_error(slot, kErrFileOpen, fmt("%s (%s)", js->script_path, reason));
    int code = js->error_code;
    end_of_run(slot, true);
    return code;
}

int run_script(int slot) {
    JobSlot* js = job_slot(slot);
    if (!js) return -1;
    AppContext& a = app();
    reset_run_state(slot);
    js->log_copy_folder.clear();
    if (js->log_folder.empty()) create_job_log_folder(slot);

    std::string failure;
    js->script = load_script(js->script_path, failure);
    int last = kDone;
    if (!failure.empty()) return refuse_script(slot, failure);
    if (js->script.empty()) return 0;  // an empty file: nothing to run

    js->start_time = std::chrono::steady_clock::now();
    std::tm tm = local_now();
    open_job_logs(slot);
    if (!a.console_run())
        write_linef(slot, LineFormat::LeftAligned, 10, colour::kGreen,
                    "##### SCRIPT START %d/%02d/%02d (%s-%s : %s%s) #####", tm.tm_year + 1900, tm.tm_mon + 1,
                    tm.tm_mday, kProductVersion, kProductBuild, path_stem(js->script_path),
                    path_extension(js->script_path));
    if (!js->sub_base.empty()) set_fn_script_state(true);
    write_init_params(slot, a.sub_params);
    {
        std::error_code ec;
        std::filesystem::copy_file(fs_path(js->script_path),
                                   fs_path(path_join(js->log_folder, path_file_name(js->script_path))),
                                   std::filesystem::copy_options::overwrite_existing, ec);
    }

    // A run carried on after a restart goes on where it stopped.
    size_t pos = take_resume_position(slot);
    bool cancelled = false;
    std::string raw;
    while (pos < js->script.size()) {
        size_t used = cut_statement(js->script, pos, raw);
        if (used == 0) break;
        js->position = pos;
        int r = run_statement(slot, clean_statement(raw));
        last = r;
        if (cancel_requested(slot)) {
            log_text(slot, "---- Cancel Job ----");
            cancelled = true;
            break;
        }
        if (r == kDone) {
            pos += used;
        } else if (r == kLoopBack) {
            pos = js->loop_start;
        } else if (r == kErrorStop) {
            broadcast_error_stop_if_enabled();
            set_cancel(slot);
            cancelled = true;
            break;
        } else if (r == kExitRun) {
            set_cancel(slot);
            cancelled = true;
            break;
        } else if (r == kCloseRun) {
            cancelled = true;
            break;
        }
    }

    if (html_log_open(slot))
        write_line(slot, fmt("##### SCRIPT LOG %s", js->log_folder), LineFormat::LeftAligned, 10, colour::kGreen,
                   LineKind::Text, js->log_folder);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                    js->start_time)
                  .count();
    if (!a.console_run()) {
        std::tm end = local_now();
        write_linef(slot, LineFormat::LeftAligned, 10, colour::kGreen,
                    "##### SCRIPT END %d/%02d/%02d (Elapsed Time: %s) #####", end.tm_year + 1900, end.tm_mon + 1,
                    end.tm_mday, readable_duration(static_cast<uint32_t>(ms)));
    }
    // The exit code is the code of the error or Exit that ended the run.
    int code = (last == kErrorStop || last == kExitRun) ? js->error_code : 0;
    // A surplus '}' stops the run without an error message; it must not pass.
    if (last == kErrorStop && code == 0) code = kErrGetBlock;
    js->error_code = 0;
    end_of_run(slot, cancelled);
    if (js->error_code == kErrLoseBlockEnd) code = kErrLoseBlockEnd;
    return code;
}

}  // namespace

int run_job(int slot) {
    JobSlot* js = job_slot(slot);
    if (!js) return -1;
    AppContext& a = app();
    // A starter that marked the slot running has cleared its stop already; a
    // stop asked for since then (Stop pressed at once) must not be lost.
    if (!a.jobs[0].running.exchange(true)) a.jobs[0].cancel = false;
    global_var_map();
    int code = run_script(slot);
    if (!js->sub_base.empty()) set_fn_script_state(false);
    global_var_unmap();
    a.jobs[0].running = false;
    job_events()->job_ended(slot, code);
    return code;
}

int run_single_command(int slot, const std::string& text) {
    JobSlot* js = job_slot(slot);
    if (!js) return kDone;
    AppContext& a = app();
    std::string statement(trim(text));
    if (statement.empty()) return kDone;
    a.jobs[0].cancel = false;
    a.jobs[0].running = true;
    reset_run_state(slot);
    if (js->log_folder.empty()) create_job_log_folder(slot);
    open_job_logs(slot);
    js->typed_command = statement;
    int r = run_statement(slot, clean_statement(statement));
    js->typed_command.clear();
    end_of_run(slot, true);
    a.jobs[0].running = false;
    return r;
}

JobThread::~JobThread() { join(); }

bool JobThread::start(int slot) {
    if (thread_.joinable() || app().jobs[0].running.load()) return false;
    app().jobs[0].cancel = false;
    app().jobs[0].running = true;  // set before the thread runs: a slot is never started twice
    thread_ = std::thread([this, slot] { exit_code_ = run_job(slot); });
    return true;
}

int JobThread::join() {
    if (thread_.joinable()) thread_.join();
    return exit_code_;
}

}  // namespace tb
