// The program's own usage texts: the short line shown when a start names no
// script, and the built-in help shown by --help when no help file was shipped.
#pragma once

#include <string>

namespace tb {

std::string usage_text();
std::string builtin_help_text();

}  // namespace tb
