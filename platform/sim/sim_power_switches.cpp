#include "platform/sim/sim_power_switches.h"

#include <memory>

#include "platform/sim/sim_machine.h"

namespace tb::sim {

PowerFeed effective_feed(const DiskConfig& disk) {
    if (disk.power_feed.source != FeedSource::Default) return disk.power_feed;
    PowerFeed feed;
    const bool bridge_switches = disk.bridge == BridgeKind::JMicron || disk.bridge == BridgeKind::Asm2362 ||
                                 disk.bridge == BridgeKind::Asm2364;
    feed.source = bridge_switches ? FeedSource::None : FeedSource::Hub;
    feed.hub_port = 1;
    return feed;
}

namespace {

// A disk of the machine that tells one machine from a later one made at the
// same address (none for a machine without disks).
std::shared_ptr<SimDisk> first_disk(SimMachine& machine) {
    const auto numbers = machine.disk_numbers();
    return numbers.empty() ? nullptr : machine.disk_shared(numbers.front());
}

}  // namespace

SimPowerSwitches& SimPowerSwitches::of(SimMachine& machine) {
    static std::mutex lock;
    static std::unique_ptr<SimPowerSwitches> current;
    std::lock_guard hold(lock);
    const std::shared_ptr<SimDisk> disk = first_disk(machine);
    if (!current || &current->machine_ != &machine || current->first_disk_.lock() != disk) {
        current.reset(new SimPowerSwitches(machine));
        current->first_disk_ = disk;
    }
    return *current;
}

void SimPowerSwitches::switch_hub(uint32_t port, bool on) {
    std::lock_guard hold(lock_);
    if (port == 0) {
        ports_off_.clear();
        others_off_ = !on;
    } else {
        ports_off_[port] = !on;
    }
    apply();
}

bool SimPowerSwitches::port_on(uint32_t port) const {
    auto it = ports_off_.find(port);
    return !(it == ports_off_.end() ? others_off_ : it->second);
}

bool SimPowerSwitches::hub_port_on(uint32_t port) {
    std::lock_guard hold(lock_);
    return port_on(port);
}

void SimPowerSwitches::switch_relay(bool on) {
    std::lock_guard hold(lock_);
    relay_off_ = !on;
    apply();
}

bool SimPowerSwitches::relay_on() {
    std::lock_guard hold(lock_);
    return !relay_off_;
}

void SimPowerSwitches::apply() {
    for (const DiskConfig& d : machine_.config().disks) {
        const PowerFeed feed = effective_feed(d);
        bool on = true;
        if (feed.source == FeedSource::Hub) on = port_on(feed.hub_port);
        else if (feed.source == FeedSource::Relay) on = !relay_off_;
        else continue;
        if (on) machine_.power_on(d.number);
        else machine_.power_off(d.number, false);
    }
}

}  // namespace tb::sim
