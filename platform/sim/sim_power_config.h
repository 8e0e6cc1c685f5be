// What a simulated machine says about the supply of its disks: a power hub
// behind a serial port name, an optional USB relay, and which of them feeds
// each disk.
//
//   [hub]
//   port = COM3        ; the port name the hub answers on (default COM3)
//   kind = 0           ; the frames it understands: 0, 2, 3 or 5 (default 0)
//   present = 1        ; 0: the machine has no hub
//
//   [relay]            ; the machine has a USB relay only with this section
//   serial = COM7      ; its serial number (a kind-4 hub is opened by the hub port name)
//
//   [diskN]
//   power = hub:1      ; hub:<port> | relay | none; default hub:1, or none
//                      ; behind a JMicron or ASMedia bridge (the bridge switches those)
//
// Hub port 0 stands for every port; hubs of kinds 0 and 5 have one switch
// for all their ports. The relay's channel 1 feeds the disks on `relay`:
// opened, it cuts their power.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sim/sim_ini_lines.h"

namespace tb::sim {

enum class FeedSource { Default, Hub, Relay, None };

struct PowerFeed {
    FeedSource source = FeedSource::Default;
    uint32_t hub_port = 1;
};

struct SimHubConfig {
    bool present = true;
    std::string port = "COM3";
    int kind = 0;
};

struct SimRelayConfig {
    bool present = false;
    std::string serial = "COM7";
};

struct SimPowerConfig {
    SimHubConfig hub;
    SimRelayConfig relay;
};

// The value of a disk's `power =`; false with the reason.
bool parse_power_feed(const std::string& value, PowerFeed& out, std::string& reason);

// The [hub] and [relay] sections; false with the line and reason of the first mistake.
bool read_hub_section(const IniSection& section, SimHubConfig& out, int& line, std::string& reason);
bool read_relay_section(const IniSection& section, SimRelayConfig& out, int& line, std::string& reason);

}  // namespace tb::sim
