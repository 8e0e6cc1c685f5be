#include "platform/stop_request.h"

#include <windows.h>

namespace tb {

namespace {

constexpr int kInterruptCode = 130;
constexpr int kTerminateCode = 143;
// The system ends a process this long after a close event at the latest.
constexpr DWORD kCloseGraceMs = 4500;

std::atomic<int> g_stop_code{0};
std::atomic<std::atomic<bool>*> g_cancel{nullptr};

BOOL WINAPI on_console_event(DWORD event) {
    const int code = event == CTRL_C_EVENT ? kInterruptCode : kTerminateCode;
    int none = 0;
    // A second request takes the system's default: the process ends at once.
    if (!g_stop_code.compare_exchange_strong(none, code)) return FALSE;
    if (std::atomic<bool>* cancel = g_cancel.load()) cancel->store(true);
    // After a close, log-off or shut-down event the process ends when the
    // handler returns: give the job its time to stop.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::Sleep(kCloseGraceMs);
    return TRUE;
}

}  // namespace

void watch_stop_requests(std::atomic<bool>* cancel) {
    g_cancel.store(cancel);
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool stop_requested() { return g_stop_code.load() != 0; }

int stop_request_exit_code() { return g_stop_code.load(); }

}  // namespace tb
