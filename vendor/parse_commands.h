// The commands that decode saved vendor records, edit and join firmware
// images and follow a drive's SMART readings.
#pragma once

#include <string>

namespace tb {

void cmd_Parse_DrvInfo(int slot, const std::string& args, const std::string& name);
void cmd_Parse_FWconfig(int slot, const std::string& args, const std::string& name);
void cmd_Parse_MPInfo(int slot, const std::string& args, const std::string& name);
void cmd_Parse_GrownDefect(int slot, const std::string& args, const std::string& name);
void cmd_Parse_DieGrownDefect(int slot, const std::string& args, const std::string& name);
void cmd_Parse_EventLog(int slot, const std::string& args, const std::string& name);
void cmd_Parse_CriticalLog(int slot, const std::string& args, const std::string& name);
void cmd_Parse_CDump(int slot, const std::string& args, const std::string& name);
void cmd_Parse_SMART(int slot, const std::string& args, const std::string& name);
void cmd_Parse_FileHex(int slot, const std::string& args, const std::string& name);
void cmd_Parse(int slot, const std::string& args, const std::string& name);
void cmd_FWbin_SetFWconfig(int slot, const std::string& args, const std::string& name);
void cmd_MergeFW(int slot, const std::string& args, const std::string& name);
void cmd_RDTResult(int slot, const std::string& args, const std::string& name);

}  // namespace tb
