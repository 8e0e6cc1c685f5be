#include "power/hub_bindings.h"

#include "power/hub_commands.h"
#include "power/relay_presence.h"
#include "power/ssd_power.h"

namespace tb {

namespace {

constexpr CommandBinding kHubBindings[] = {
    {"SetPowerHub", cmd_SetPowerHub},
    {"RelayPowerOff", cmd_RelayPowerOff},
    {"RelayPowerOn", cmd_RelayPowerOn},
    {"IsRelayPowerOn", cmd_IsRelayPowerOn},
    {"IsRelayExisted", cmd_IsRelayExisted},
    {"SSDPowerOff", cmd_SSDPowerOff, kMaskNvme},
    {"SSDPowerOn", cmd_SSDPowerOn, kMaskNvme},
};

}  // namespace

BindingList hub_bindings() { return kHubBindings; }

}  // namespace tb
