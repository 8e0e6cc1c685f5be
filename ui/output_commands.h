// Commands that print to the job log and read results back, and the
// log-folder commands.
#pragma once

#include <string>

namespace tb {

void cmd_Print(int slot, const std::string& args, const std::string& name);
void cmd_PrintEx(int slot, const std::string& args, const std::string& name);
void cmd_Result(int slot, const std::string& args, const std::string& name);
void cmd_ResultHex(int slot, const std::string& args, const std::string& name);
void cmd_ResultColumn(int slot, const std::string& args, const std::string& name);
void cmd_Report_Print(int slot, const std::string& args, const std::string& name);
void cmd_SetStatusText(int slot, const std::string& args, const std::string& name);
void cmd_Cls(int slot, const std::string& args, const std::string& name);
void cmd_GetLogFolder(int slot, const std::string& args, const std::string& name);  // also LogFolder
void cmd_ScpxFolder(int slot, const std::string& args, const std::string& name);
void cmd_SetLogFolder(int slot, const std::string& args, const std::string& name);

}  // namespace tb
