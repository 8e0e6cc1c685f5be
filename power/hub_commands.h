// The script commands of the power hub: SetPowerHub names the hub's port;
// RelayPowerOff, RelayPowerOn and IsRelayPowerOn switch and read a port.
#pragma once

#include <string>

namespace tb {

void cmd_SetPowerHub(int slot, const std::string& args, const std::string& name);
void cmd_RelayPowerOff(int slot, const std::string& args, const std::string& name);
void cmd_RelayPowerOn(int slot, const std::string& args, const std::string& name);
void cmd_IsRelayPowerOn(int slot, const std::string& args, const std::string& name);

}  // namespace tb
