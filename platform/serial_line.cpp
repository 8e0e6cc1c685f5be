#include "platform/serial_line.h"

#include <mutex>

#include "platform/disk_device.h"
#include "platform/sim/sim_hub.h"

namespace tb {

namespace {

struct Installed {
    std::mutex lock;
    std::unique_ptr<SerialPorts> chosen;    // set by set_serial_ports
    std::unique_ptr<SerialPorts> fallback;  // the default, made on first use
    bool fallback_is_sim = false;
};

Installed& installed() {
    static Installed i;
    return i;
}

}  // namespace

SerialPorts& serial_ports() {
    Installed& i = installed();
    std::lock_guard hold(i.lock);
    if (i.chosen) return *i.chosen;
    // The default follows the disk machine in use, which may change between runs.
    const bool sim = disk_platform().name() == "sim";
    if (!i.fallback || i.fallback_is_sim != sim) {
        i.fallback = sim ? sim::make_sim_serial_ports() : make_native_serial_ports();
        i.fallback_is_sim = sim;
    }
    return *i.fallback;
}

void set_serial_ports(std::unique_ptr<SerialPorts> ports) {
    Installed& i = installed();
    std::lock_guard hold(i.lock);
    i.chosen = std::move(ports);
}

}  // namespace tb
