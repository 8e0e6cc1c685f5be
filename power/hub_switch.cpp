#include "power/hub_switch.h"

#include "power/hub.h"
#include "script/error_policy.h"

namespace tb {

int check_hub(std::string& detail) { return open_power_hub(detail) ? 1 : kErrPowerHub; }

int switch_hub_port(uint32_t port, bool on, std::string& detail) {
    auto hub = open_power_hub(detail);
    if (!hub) return kErrPowerHub;
    return hub->switch_port(port, on, detail);
}

int read_hub_port(uint32_t port, int64_t& state, std::string& detail) {
    auto hub = open_power_hub(detail);
    if (!hub) return kErrPowerHub;
    return hub->read_state(port, state, detail);
}

}  // namespace tb
