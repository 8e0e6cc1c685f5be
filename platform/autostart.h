// The start-up registration store: named values holding a command line that
// runs at the next system start (the Run key of the other platform).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tb {

// Folder of the store: $TAMBLOR_AUTOSTART_DIR, else /var/lib/tamblor/autostart
// for root, else ~/.config/tamblor/autostart.
std::string autostart_folder();
bool set_autorun_value(std::string_view name, std::string_view command_line);
bool remove_autorun_value(std::string_view name);
// Empty when the value is not set.
std::string get_autorun_value(std::string_view name);
// Every value of the store (name, command line), in name order.
std::vector<std::pair<std::string, std::string>> autorun_values();

}  // namespace tb
