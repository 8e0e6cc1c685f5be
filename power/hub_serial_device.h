// The hubs on a serial line (kinds 0, 2, 3 and 5).
#pragma once

#include <memory>
#include <string>

#include "power/hub_device.h"

namespace tb {

// The line speed each serial kind is spoken to at (8N1 for all).
uint32_t hub_baud_rate(int kind);

// Opens the serial port `port_name` for a hub of `kind`; nullptr with the reason.
std::unique_ptr<HubDevice> open_serial_hub_device(const std::string& port_name, int kind, std::string& problem);

}  // namespace tb
