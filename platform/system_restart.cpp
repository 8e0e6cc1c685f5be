#include "platform/system_restart.h"

#include <mutex>

#include "platform/disk_device.h"
#include "platform/sim/sim_system_restart.h"

namespace tb {

namespace {

struct Installed {
    std::mutex lock;
    std::unique_ptr<SystemRestart> chosen;
    std::unique_ptr<SystemRestart> fallback;
    bool fallback_is_sim = false;
};

Installed& installed() {
    static Installed i;
    return i;
}

}  // namespace

SystemRestart& system_restart() {
    Installed& i = installed();
    std::lock_guard hold(i.lock);
    if (i.chosen) return *i.chosen;
    const bool sim = disk_platform().name() == "sim";
    if (!i.fallback || i.fallback_is_sim != sim) {
        i.fallback = sim ? sim::make_sim_system_restart() : make_native_system_restart();
        i.fallback_is_sim = sim;
    }
    return *i.fallback;
}

void set_system_restart(std::unique_ptr<SystemRestart> restart) {
    Installed& i = installed();
    std::lock_guard hold(i.lock);
    i.chosen = std::move(restart);
}

}  // namespace tb
