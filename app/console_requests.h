// The console-only requests of a console run: disk listing, help, version.
#pragma once

#include <string>

namespace tb {

enum class ConsoleRequest { None, List, ListSlave, Help, Version };

// The request named in a sub-parameter list ("--list$", "--listslave$",
// "--help$", "--qzhelp$", "--version$", "--ver$", any case), listings first,
// help before version.
ConsoleRequest find_console_request(const std::string& sub_params);
// The `1` modifier: a free word that ends in "1".
bool console_modifier(const std::string& sub_params);

// The DiskList argument text of a listing request.
std::string listing_arguments(bool slave, bool column, const std::string& target);

// The version text: "%s %50s\n" with the caption, the kernel line at debug
// level 1 or 2, and the maker notice with the logo flag.
std::string version_text();

// Serves the request of the process's sub-parameter list on slot 0.
// Returns true when one was served.
bool serve_console_request();

}  // namespace tb
