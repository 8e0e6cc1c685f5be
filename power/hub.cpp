#include "power/hub.h"

#include <chrono>
#include <thread>

#include "common/format.h"
#include "platform/named_mutex.h"
#include "power/hub_frames.h"
#include "power/hub_serial_device.h"
#include "power/hub_settings.h"
#include "power/relay_hub_device.h"

namespace tb {

PowerHub::PowerHub(std::unique_ptr<HubDevice> device, bool holds_lock)
    : device_(std::move(device)), holds_lock_(holds_lock) {}

PowerHub::~PowerHub() {
    device_.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(kHubSettleMs));
    if (holds_lock_) com_port_lock().unlock();
}

namespace {

std::unique_ptr<HubDevice> open_device(const std::string& port_name, int kind, std::string& problem) {
    if (!known_hub_kind(kind)) {
        problem = fmt("unknown power hub kind %d", kind);
        return nullptr;
    }
    if (kind == kHubRelay) return open_relay_hub_device(port_name, problem);
    return open_serial_hub_device(port_name, kind, problem);
}

}  // namespace

std::unique_ptr<PowerHub> open_power_hub(std::string& problem) {
    const std::string port_name = hub_port_name();
    if (port_name.empty()) {
        problem.clear();
        return nullptr;
    }
    if (!com_port_lock().try_lock_for(kHubLockWaitMs)) {
        const std::string why = com_port_lock().error();
        problem = why.empty() ? std::string("ComPortLock") : why;
        return nullptr;
    }
    auto device = open_device(port_name, hub_kind(), problem);
    if (!device) {
        com_port_lock().unlock();
        return nullptr;
    }
    return std::make_unique<PowerHub>(std::move(device), true);
}

}  // namespace tb
