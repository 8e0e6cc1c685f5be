#include "platform/stop_request.h"

#include <csignal>

namespace tb {

namespace {

std::atomic<int> g_stop_signal{0};  // the first stop signal; lock-free, so safe in a signal handler
std::atomic<std::atomic<bool>*> g_cancel{nullptr};

void on_stop_signal(int sig) {
    int none = 0;
    if (!g_stop_signal.compare_exchange_strong(none, sig)) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    if (std::atomic<bool>* cancel = g_cancel.load()) cancel->store(true);
}

}  // namespace

void watch_stop_requests(std::atomic<bool>* cancel) {
    g_cancel.store(cancel);
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
}

bool stop_requested() { return g_stop_signal.load() != 0; }

// 128 + the signal's number, as shells report it.
int stop_request_exit_code() {
    const int sig = g_stop_signal.load();
    return sig != 0 ? 128 + sig : 0;
}

}  // namespace tb
