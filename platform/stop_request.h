// Stop requests the system delivers to the process: Ctrl+C, a service stop
// or the console closing (SIGINT and SIGTERM on Linux, the console control
// events on Windows). The first one is the Stop command: it sets the job's
// cancel flag, and the job ends at its next check; a second one ends the
// process at once.
#pragma once

#include <atomic>

namespace tb {

// Starts handling stop requests; the first one sets `cancel`.
void watch_stop_requests(std::atomic<bool>* cancel);

// Whether a stop request has come.
bool stop_requested();

// The exit code that reports the stop request the way shells do: 130 for an
// interrupt (Ctrl+C), 143 for a request to terminate; 0 when none came.
int stop_request_exit_code();

}  // namespace tb
