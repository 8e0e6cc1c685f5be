#include "script/app_context.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace tb {

namespace {
AppContext g_app;
}

AppContext& app() { return g_app; }

void reset_app_context() {
    AppContext& a = g_app;
    a.run_style = kStyleWindow;
    a.ui_mode = 0;
    a.debug_level = 0;
    a.sub_params.clear();
    a.caption.clear();
    a.logo = 0;
    a.exit_code = 0;
    a.program_path.clear();
    a.work_folder.clear();
    a.target.clear();
    a.wake_service_host.clear();
    a.access_protocol = 0;
    for (auto& j : a.jobs) {
        j.running = false;
        j.cancel = false;
    }
    a.console = stdout;
}

namespace {

struct KeptFolders {
    std::mutex lock;
    std::vector<std::string> folders;
};

KeptFolders& kept_folders() {
    static KeptFolders k;
    return k;
}

}  // namespace

void keep_at_exit(const std::string& folder) {
    KeptFolders& k = kept_folders();
    std::lock_guard<std::mutex> hold(k.lock);
    k.folders.push_back(folder);
}

std::vector<std::string> folders_kept_at_exit() {
    KeptFolders& k = kept_folders();
    std::lock_guard<std::mutex> hold(k.lock);
    return k.folders;
}

void sleep_cancellable(int slot, uint64_t ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cancel_requested(slot)) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(50)));
    }
}

}  // namespace tb
