// The script's boxes: questions to the operator that a script asks and whose
// answer becomes the command's result.
#pragma once

#include <string>

namespace tb {

void cmd_MessageBox(int slot, const std::string& args, const std::string& name);
void cmd_ComboBox(int slot, const std::string& args, const std::string& name);
void cmd_NumberBox(int slot, const std::string& args, const std::string& name);
void cmd_CheckListBox(int slot, const std::string& args, const std::string& name);
void cmd_InputBox(int slot, const std::string& args, const std::string& name);
void cmd_FileSelectBox(int slot, const std::string& args, const std::string& name);

}  // namespace tb
