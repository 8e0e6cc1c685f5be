// The process-wide record: run style, UI mode, debug level, parameters,
// folders and the per-slot job control.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tb {

enum RunStyle : int { kStyleWindow = 1, kStyleConsole = 30, kStyleRemoteConsole = 31 };

struct JobControl {
    std::atomic<bool> running{false};
    std::atomic<bool> cancel{false};
};

struct AppContext {
    int run_style = kStyleWindow;
    int ui_mode = 0;
    uint8_t debug_level = 0;
    std::string sub_params;  // free command-line words, each followed by '$'
    std::string caption;
    int logo = 0;
    int exit_code = 0;

    std::string program_path;  // full path of this executable
    std::string work_folder;   // per-run work folder
    std::string target;        // target string from the command line

    // The wake-up service that powers this PC on again after a power-off
    // ("host" or "host:port"); no command sets it, so it is empty.
    std::string wake_service_host;

    // Access protocol of the current target disk (0 until a disk is chosen).
    uint8_t access_protocol = 0;

    JobControl jobs[1];

    // Where console runs print their lines (standard output unless redirected).
    FILE* console = stdout;

    bool console_run() const { return run_style == kStyleConsole || run_style == kStyleRemoteConsole; }
};

AppContext& app();

// Reset the process record to its start-up state (used at start and by tests).
void reset_app_context();

inline bool cancel_requested(int slot) { return slot == 0 && app().jobs[0].cancel.load(); }
inline void set_cancel(int slot) {
    if (slot == 0) app().jobs[0].cancel.store(true);
}

// Sleeps in short steps so that a cancel of the slot's job ends the wait promptly.
void sleep_cancellable(int slot, uint64_t ms);

// Folders made inside the work folder that must outlive it (an LBA map and
// its progress record, read again by a later run): the work folder's removal
// leaves them in place, as it leaves the job's log folder.
void keep_at_exit(const std::string& folder);
std::vector<std::string> folders_kept_at_exit();

}  // namespace tb
