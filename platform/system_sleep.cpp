#include "platform/system_sleep.h"

#include <mutex>

#include "platform/disk_device.h"
#include "platform/sim/sim_sleep.h"

namespace tb {

namespace {

struct Installed {
    std::mutex lock;
    std::shared_ptr<SystemSleep> chosen;     // set by set_system_sleep
    std::shared_ptr<SystemSleep> fallback;   // the default, made on first use
    bool fallback_is_sim = false;
};

Installed& installed() {
    static Installed i;
    return i;
}

}  // namespace

std::shared_ptr<SystemSleep> shared_system_sleep() {
    Installed& i = installed();
    std::lock_guard hold(i.lock);
    if (i.chosen) return i.chosen;
    // The default follows the disk machine in use, which may change between runs.
    const bool sim = disk_platform().name() == "sim";
    if (!i.fallback || i.fallback_is_sim != sim) {
        if (sim) i.fallback = std::make_shared<sim::SimSystemSleep>(sim::sim_sleep_settings_from_environment());
        else i.fallback = make_native_system_sleep();
        i.fallback_is_sim = sim;
    }
    return i.fallback;
}

SystemSleep& system_sleep() { return *shared_system_sleep(); }

void set_system_sleep(std::unique_ptr<SystemSleep> sleep) {
    Installed& i = installed();
    std::lock_guard hold(i.lock);
    i.chosen = std::move(sleep);
}

}  // namespace tb
