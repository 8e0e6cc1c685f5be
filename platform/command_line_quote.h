// One command line from an argument vector, written so that a program that
// splits its command line the usual Windows way (CommandLineToArgvW, the C
// runtime) gets the same vector back: arguments with blanks, tabs or quotes
// are quoted, quotes are escaped with a backslash, and backslashes are
// doubled where they stand before a quote.
#pragma once

#include <string>
#include <vector>

namespace tb {

std::string quoted_command_line(const std::vector<std::string>& argv);

}  // namespace tb
