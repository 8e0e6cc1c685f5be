// SSDPowerOff and SSDPowerOn: the tested disk's supply, cut and restored by
// the means that fits the disk: the power request of its JMicron or ASMedia
// USB bridge, nothing behind an RTL9210B bridge (it has no such request),
// and the power hub for every other disk.
#pragma once

#include <string>

namespace tb {

void cmd_SSDPowerOff(int slot, const std::string& args, const std::string& name);
void cmd_SSDPowerOn(int slot, const std::string& args, const std::string& name);

}  // namespace tb
