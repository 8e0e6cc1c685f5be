// The process's standard output as a console program sees it: whether it is
// open, and pointing it at a file or back at the terminal.
#pragma once

#include <string>

namespace tb {

// Whether standard output is open (a program started with it closed is not).
bool console_output_open();

// Reopens standard output on the file `target` (UTF-8 path; "" = the
// terminal), appending or from the start. When that cannot be opened, output
// goes to the null device so that the process keeps writing somewhere harmless.
void reopen_console_output(const std::string& target, bool append);

}  // namespace tb
