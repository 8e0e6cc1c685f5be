// Command-line parsing into the process record.
#pragma once

#include <string>
#include <vector>

namespace tb {

// Applies the start-up argument rules (argument 0 excluded): commas removed,
// then the target, UI:, SUBPARAM:, /debug, /dbg and /hide tests; any other
// word is appended to the sub-parameter list followed by '$'.
void parse_command_line(const std::vector<std::string>& args);

// The value of a "WORD:value" item of the sub-parameter list (case-insensitive
// word), without surrounding quotes; empty when absent.
std::string sub_param_value(const std::string& sub_params, const std::string& word);

}  // namespace tb
