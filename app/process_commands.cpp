#include "app/process_commands.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_record.h"
#include "platform/autostart.h"
#include "platform/console_output.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/job_slot.h"
#include "script/script_text.h"
#include "ui/job_log.h"

namespace tb {

namespace {

// Reopens the process's standard output on `target` ("" = the terminal).
void reopen_stdout(const std::string& target, bool append) {
    // Without a terminal (a service, a closed pipe) the process keeps writing somewhere harmless.
    reopen_console_output(target, append);
    app().console = stdout;
}

}  // namespace

void console_initial(bool append) {
    // A console run writes to the terminal it was started from. When standard
    // output is closed it is opened on that terminal again, and the line the
    // shell left is cleared.
    if (console_output_open()) return;
    reopen_stdout("", append);
    std::fputs("\r\x1b[K", stdout);
}

void console_end() {
    // The shell shows its prompt again when the process ends; only what is
    // buffered must reach the terminal first.
    std::fflush(stdout);
    if (app().console) std::fflush(app().console);
}

bool write_help(int slot) {
    std::string path = find_script_file(slot, "helpw.txt");
    if (path.empty() || !file_exists(path)) path = find_script_file(slot, "help.txt");
    if (path.empty() || !file_exists(path)) return false;
    std::ifstream in(fs_path(path), std::ios::binary);
    if (!in) return false;
    log_text(slot, "Target disk forms: \\\\.\\PhysicalDrive<N>, \\\\.\\model\\<text>, \\\\.\\port\\<text>");
    log_text(slot, "                   \\\\.\\vid\\<hex, ? = any>, \\\\.\\socid\\<hex, ? = any>, \\\\.\\QZdisk, \\\\.\\ALL\\");
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = utf16_truncate(line, 511);
        size_t at;
        while ((at = line.find("[DISK]")) != std::string::npos) line.replace(at, 6, "\\\\.\\PhysicalDrive1");
        if (!line.empty() && line[0] == '*') line[0] = '\r';
        log_text(slot, line);
    }
    return true;
}

void cmd_Help(int slot, const std::string& args, const std::string& name) { write_help(slot); }

void cmd_ConsoleOut(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string target;
    bool append = false;
    if (r.has(0) && !r.get_string(0, target)) return;
    if (r.has(1)) r.get_bool(1, append);
    if (iequals(target, "_INITIAL")) {
        console_initial(append);
    } else if (iequals(target, "_END")) {
        console_end();
    } else {
        reopen_stdout(target, append);
    }
}

void cmd_ShowCLICmdHeader(int slot, const std::string& args, const std::string& name) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    ArgReader r(slot, args);
    bool show = true;
    if (r.has(0)) r.get_bool(0, show);
    js->hide_command_echo = !show;
}

void cmd_AutoRunOnStartup(int slot, const std::string& args, const std::string& name) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    remove_autorun_value("AutoRunOnStartup");
    remove_autorun_value("Tamblor_OnStartup");
    int line = log_text(slot, fmt("Wait [ESC] %d sec to delete Windows Startup Auto-Run Setting", kAutoRunCountdown));
    for (int left = kAutoRunCountdown - 1; left >= 0; --left) {
        for (int tick = 0; tick < 10; ++tick) {
            if (cancel_requested(slot)) {
                log_text(slot, "Windows Startup Auto-Run Setting is Deleted", colour::kCyan);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        rewrite_line(slot, line, fmt("Wait [ESC] %d sec to delete Windows Startup Auto-Run Setting", left));
    }
    if (cancel_requested(slot)) {
        log_text(slot, "Windows Startup Auto-Run Setting is Deleted", colour::kCyan);
        return;
    }
    rewrite_line(slot, line, "Set Windows Startup Auto-Run Setting");
    log_text(slot, "Current script will Auto-Run on next time Windows Startup", colour::kCyan);
    log_text(slot, "Call Exit() to exit script will stop AutoRunOnStartup", colour::kCyan);
    std::string drive = current_target().physical_path;
    set_autorun_value("AutoRunOnStartup", fmt("\"%s\" SCRIPT:\"%s\", DRIVE:\"%s\", AUTOCLOSE:0", own_program_path(),
                                              js->script_path, drive));
}

}  // namespace tb
