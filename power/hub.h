// The power hub as the commands use it: opened with the hub lock held
// (waited for up to 30 s, as other instances share the hubs), switched, and
// closed again, which closes the port, lets the hub settle for 100 ms and
// gives the lock back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "power/hub_device.h"

namespace tb {

class PowerHub {
public:
    PowerHub(std::unique_ptr<HubDevice> device, bool holds_lock);
    ~PowerHub();
    PowerHub(const PowerHub&) = delete;
    PowerHub& operator=(const PowerHub&) = delete;

    int switch_port(uint32_t port, bool on, std::string& detail) { return device_->switch_port(port, on, detail); }
    int read_state(uint32_t port, int64_t& state, std::string& detail) {
        return device_->read_state(port, state, detail);
    }

private:
    std::unique_ptr<HubDevice> device_;
    bool holds_lock_;
};

// How long a hub is waited for, and how long it settles after closing.
constexpr int kHubLockWaitMs = 30000;
constexpr int kHubSettleMs = 100;

// Opens the hub of the settings; nullptr with the reason when there is no
// hub port name, the lock is not had in time, or the hub does not open.
std::unique_ptr<PowerHub> open_power_hub(std::string& problem);

}  // namespace tb
