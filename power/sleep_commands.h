// The script commands that sleep the machine: PowerState_S3S4 (a cycler
// beside the script), OneShot_S3S4 (one sleep, then the script goes on) and
// IsS3S4Running.
#pragma once

#include <string>

namespace tb {

void cmd_PowerState_S3S4(int slot, const std::string& args, const std::string& name);
void cmd_OneShot_S3S4(int slot, const std::string& args, const std::string& name);
void cmd_IsS3S4Running(int slot, const std::string& args, const std::string& name);

}  // namespace tb
