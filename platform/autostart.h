// The start-up registration store: named values holding a command line that
// runs at the next system start. On Windows it is the Run key
// (Software\Microsoft\Windows\CurrentVersion\Run of the local machine for an
// administrator, else of the user; TAMBLOR_AUTOSTART_KEY names a key of the
// user in its place). On Linux it is a folder with one file per value
// ($TAMBLOR_AUTOSTART_DIR, else /var/lib/tamblor/autostart for root, else
// ~/.config/tamblor/autostart), which the start-up unit hands to
// `tamblor --run-autostart`.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tb {

bool set_autorun_value(std::string_view name, std::string_view command_line);
bool remove_autorun_value(std::string_view name);
// Empty when the value is not set.
std::string get_autorun_value(std::string_view name);
// Every value of the store (name, command line), in name order.
std::vector<std::pair<std::string, std::string>> autorun_values();

}  // namespace tb
