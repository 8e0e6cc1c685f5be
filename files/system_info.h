// SystemInfo(): the report of the test PC that labs attach to every log:
// OS and kernel, processor model and count, memory, board and BIOS, and
// for the job's disk its driver, link speed and width, and bridge. Each
// value reads back with Result( KeyWord:... ). The result is TRUE.
#pragma once

#include <string>

namespace tb {

void cmd_SystemInfo(int slot, const std::string& args, const std::string& name);

}  // namespace tb
