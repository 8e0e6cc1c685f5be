#include "power/hub_settings.h"

#include <cstdint>
#include <mutex>

#include "platform/system_settings.h"

namespace tb {

namespace {

struct PortName {
    std::mutex lock;
    std::string name;
};

PortName& port_name() {
    static PortName p;
    return p;
}

}  // namespace

std::string hub_port_name() {
    std::lock_guard hold(port_name().lock);
    return port_name().name;
}

void set_hub_port_name(std::string name) {
    std::lock_guard hold(port_name().lock);
    port_name().name = std::move(name);
}

int hub_kind() {
    uint32_t kind = 0;
    if (!get_system_value(kHubSettingsKey, kHubKindValue, kind)) return 0;
    return kind > 0xFFFF ? -1 : static_cast<int>(kind);
}

}  // namespace tb
