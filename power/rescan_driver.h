// ReScanDriver: asks the machine to re-enumerate its devices (one rescan at
// a time across the instances), then looks for the current target again at
// its location, giving the devices found a few seconds to start. The result
// is TRUE when the disk is there.
#pragma once

#include <string>

namespace tb {

void cmd_ReScanDriver(int slot, const std::string& args, const std::string& name);

}  // namespace tb
