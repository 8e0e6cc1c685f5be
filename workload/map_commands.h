// The LBA map commands: making and extending a map, playing it, checking
// the disk against it, playing and checking at once, and restoring the
// base data of what a played map touched.
#pragma once

#include <string>

namespace tb {

void cmd_Compare_MapMake(int slot, const std::string& args, const std::string& name);
void cmd_Compare_MapAppend(int slot, const std::string& args, const std::string& name);
void cmd_Compare_MapWrite(int slot, const std::string& args, const std::string& name);
void cmd_Compare_MapCompare(int slot, const std::string& args, const std::string& name);
void cmd_Compare_MapWriteCompare(int slot, const std::string& args, const std::string& name);
void cmd_Compare_MapRecoverBasePattern(int slot, const std::string& args, const std::string& name);

}  // namespace tb
