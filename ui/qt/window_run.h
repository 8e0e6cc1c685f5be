// A windowed run: the Qt application, the job-event sink that feeds the
// window, and the main window until it finishes.
#pragma once

namespace tb::qtui {

// Runs the main window for the prepared job (target string, package and
// machine already set up); returns the exit code of the run.
int run_main_window(int& argc, char** argv);

}  // namespace tb::qtui
