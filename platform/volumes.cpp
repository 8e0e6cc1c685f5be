// The process-wide volumes: the simulated machine's unless others were
// installed.
#include "platform/volumes.h"

#include <mutex>

#include "platform/sim/sim_volumes.h"

namespace tb {

namespace {

std::mutex& volumes_mutex() {
    static std::mutex m;
    return m;
}

std::unique_ptr<Volumes>& volumes_slot() {
    static std::unique_ptr<Volumes> v;
    return v;
}

}  // namespace

Volumes& volumes() {
    std::lock_guard lock(volumes_mutex());
    auto& slot = volumes_slot();
    if (!slot) slot = sim::make_sim_volumes();
    return *slot;
}

void set_volumes(std::unique_ptr<Volumes> v) {
    std::lock_guard lock(volumes_mutex());
    volumes_slot() = std::move(v);
}

}  // namespace tb
