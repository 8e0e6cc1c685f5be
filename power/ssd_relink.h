// SSDPowerReLink: takes the current target off its link and brings it back
// (a bridge's re-link request behind a JMicron or ASMedia USB bridge, the
// controller's device node off and on for any other disk), then waits for
// the disk to come back. The result is TRUE when it came back in time.
#pragma once

#include <string>

namespace tb {

void cmd_SSDPowerReLink(int slot, const std::string& args, const std::string& name);

}  // namespace tb
