// The program's command-line arguments as UTF-8 texts.
#pragma once

#include <string>
#include <vector>

namespace tb::host {

// argv[0..argc) as UTF-8. On Windows the narrow argv is in the ANSI code page
// and loses every character outside it, so the arguments are read again from
// the wide command line.
std::vector<std::string> program_arguments(int argc, char** argv);

// Pointers into `args` for code that takes argc/argv; valid while `args` lives.
std::vector<char*> argument_pointers(std::vector<std::string>& args);

}  // namespace tb::host
