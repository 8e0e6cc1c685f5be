// The process's standard input as the console dialogs see it.
#pragma once

namespace tb {

// Whether standard input comes from a terminal that a person can answer at
// (not a file, a pipe or the null device).
bool console_input_is_terminal();

}  // namespace tb
