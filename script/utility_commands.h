// Built-in utility commands: strings, numbers, random values, time, INI
// files, shared variables and init parameters.
#pragma once

#include <string>

namespace tb {

void cmd_StrLen(int slot, const std::string& args, const std::string& name);
void cmd_StrCmp(int slot, const std::string& args, const std::string& name);
void cmd_StrStr(int slot, const std::string& args, const std::string& name);
void cmd_StrSub(int slot, const std::string& args, const std::string& name);
void cmd_StrReplace(int slot, const std::string& args, const std::string& name);
void cmd_StrSetLen(int slot, const std::string& args, const std::string& name);
void cmd_StrSplit(int slot, const std::string& args, const std::string& name);
void cmd_StrToNumber(int slot, const std::string& args, const std::string& name);
void cmd_NumberToStr(int slot, const std::string& args, const std::string& name);
void cmd_BitValue(int slot, const std::string& args, const std::string& name);
void cmd_RandomValue(int slot, const std::string& args, const std::string& name);
void cmd_ArrayLen(int slot, const std::string& args, const std::string& name);
void cmd_DateTime(int slot, const std::string& args, const std::string& name);
void cmd_RunTime(int slot, const std::string& args, const std::string& name);
void cmd_GetINIData(int slot, const std::string& args, const std::string& name);
void cmd_SetINIData(int slot, const std::string& args, const std::string& name);
void cmd_IsFileExist(int slot, const std::string& args, const std::string& name);
void cmd_GetFileSize(int slot, const std::string& args, const std::string& name);
void cmd_FileRename(int slot, const std::string& args, const std::string& name);
void cmd_InitParam_Data(int slot, const std::string& args, const std::string& name);
void cmd_InitParam_List(int slot, const std::string& args, const std::string& name);
void cmd_APFileName(int slot, const std::string& args, const std::string& name);

}  // namespace tb
