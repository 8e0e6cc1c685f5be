// The handlers of power/ for the disk supply switched by a power hub, a
// relay or a USB bridge: SetPowerHub, RelayPowerOff, RelayPowerOn,
// IsRelayPowerOn, IsRelayExisted, SSDPowerOff and SSDPowerOn.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList hub_bindings();

}  // namespace tb
