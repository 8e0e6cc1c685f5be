#include "platform/relay_library.h"

#include <mutex>

#include "platform/disk_device.h"
#include "platform/sim/sim_relay.h"

namespace tb {

namespace {

struct Installed {
    std::mutex lock;
    std::unique_ptr<RelayLoader> chosen;    // set by set_relay_loader
    std::unique_ptr<RelayLoader> fallback;  // the default, made on first use
    bool fallback_is_sim = false;
};

Installed& installed() {
    static Installed i;
    return i;
}

}  // namespace

RelayLoader& relay_loader() {
    Installed& i = installed();
    std::lock_guard hold(i.lock);
    if (i.chosen) return *i.chosen;
    // The default follows the disk machine in use, which may change between runs.
    const bool sim = disk_platform().name() == "sim";
    if (!i.fallback || i.fallback_is_sim != sim) {
        i.fallback = sim ? sim::make_sim_relay_loader() : make_native_relay_loader();
        i.fallback_is_sim = sim;
    }
    return *i.fallback;
}

void set_relay_loader(std::unique_ptr<RelayLoader> loader) {
    Installed& i = installed();
    std::lock_guard hold(i.lock);
    i.chosen = std::move(loader);
}

}  // namespace tb
