// The USB relay as a power hub (kind 4): the relay library is loaded from
// the library folder the first time and kept; the relay whose serial number
// is the hub port name is opened; an opened channel 1 cuts the disk's
// power, a closed one restores it.
#pragma once

#include <memory>
#include <string>

#include "power/hub_device.h"

namespace tb {

constexpr int kRelayPowerChannel = 1;

std::unique_ptr<HubDevice> open_relay_hub_device(const std::string& serial_number, std::string& problem);

// Unloads the kept library (tests, and before another loader is installed).
void forget_relay_library();

}  // namespace tb
