// The switches of a simulated machine's supply: the hub's ports and the
// relay's channel 1. Switching one off cuts the power of every disk it
// feeds (an unsafe power loss: unflushed writes are lost, the disk leaves
// the system); switching it on powers them again.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/sim/sim_config.h"

namespace tb::sim {

class SimMachine;
class SimDisk;

// A disk's feed with its default resolved: hub port 1, or none behind a
// JMicron or ASMedia bridge (which switch their disks themselves).
PowerFeed effective_feed(const DiskConfig& disk);

class SimPowerSwitches {
public:
    // The switches of `machine`; made afresh, all on, for a new machine.
    static SimPowerSwitches& of(SimMachine& machine);

    // Port 0: every port.
    void switch_hub(uint32_t port, bool on);
    bool hub_port_on(uint32_t port);
    void switch_relay(bool on);
    bool relay_on();

private:
    explicit SimPowerSwitches(SimMachine& machine) : machine_(machine) {}
    void apply();
    bool port_on(uint32_t port) const;

    SimMachine& machine_;
    std::weak_ptr<SimDisk> first_disk_;  // which machine of that address these are
    std::mutex lock_;
    std::map<uint32_t, bool> ports_off_;  // ports switched one by one: true when off
    bool others_off_ = false;             // the ports not in ports_off_ (the last all-port switch)
    bool relay_off_ = false;
};

}  // namespace tb::sim
