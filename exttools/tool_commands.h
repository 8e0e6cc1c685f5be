// The commands made from the package's ExtCmd.ini: for every tool whose
// program exists, NAME(Parameter:"...", WaitClose:TRUE) runs it and
// IsNAMERunning() tells whether it is running. They are found by the
// command lookups after the built-in table.
#pragma once

#include <string>

namespace tb {

// Reads `ini_path` (a missing or empty file gives no tools) and installs the
// commands of its tools in place of any installed before; relative program
// paths are taken from `base_folder`. Returns how many tools were taken.
size_t install_tool_commands(const std::string& ini_path, const std::string& base_folder);

// The handlers every generated command runs.
void cmd_external_tool(int slot, const std::string& args, const std::string& name);
void cmd_tool_running(int slot, const std::string& args, const std::string& name);

}  // namespace tb
