// Command-line parsing into the process record.
#pragma once

#include <string>
#include <vector>

namespace tb {

// Applies the start-up argument rules (argument 0 excluded): commas removed,
// then the target, UI:, SUBPARAM:, /debug, /dbg and /hide tests; any other
// word is appended to the sub-parameter list followed by '$'.
void parse_command_line(const std::vector<std::string>& args);

// Splits a command-line text into arguments as the other platform's shell
// does: blanks separate arguments outside double quotes, quotes group and
// are removed, 2n backslashes before a quote give n backslashes and 2n+1
// give n and a literal quote; other backslashes are kept as they are (so
// "\\.\PHYSICALDRIVE1" survives).
std::vector<std::string> split_command_line(const std::string& text);

}  // namespace tb
