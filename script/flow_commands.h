// Control-flow and error-policy commands: Exit, Break, Delay, SetErrorSkip,
// GetErrorCount, SetErrorDesc.
#pragma once

#include <string>

namespace tb {

void cmd_Exit(int slot, const std::string& args, const std::string& name);
void cmd_Break(int slot, const std::string& args, const std::string& name);
void cmd_Delay(int slot, const std::string& args, const std::string& name);
void cmd_SetErrorSkip(int slot, const std::string& args, const std::string& name);
void cmd_GetErrorCount(int slot, const std::string& args, const std::string& name);
void cmd_SetErrorDesc(int slot, const std::string& args, const std::string& name);

}  // namespace tb
