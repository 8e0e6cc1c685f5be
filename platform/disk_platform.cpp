// The process-wide disk platform: the simulated machine unless another one
// was installed.
#include <mutex>

#include "platform/disk_device.h"
#include "platform/sim/sim_platform.h"

namespace tb {

namespace {

std::mutex& platform_mutex() {
    static std::mutex m;
    return m;
}

std::unique_ptr<DiskPlatform>& platform_slot() {
    static std::unique_ptr<DiskPlatform> p;
    return p;
}

}  // namespace

DiskPlatform& disk_platform() {
    std::lock_guard lock(platform_mutex());
    auto& slot = platform_slot();
    if (!slot) slot = sim::make_sim_platform();
    return *slot;
}

void set_disk_platform(std::unique_ptr<DiskPlatform> platform) {
    std::lock_guard lock(platform_mutex());
    platform_slot() = std::move(platform);
}

namespace detail {
// The installed platform without creating one (nullptr when none yet).
DiskPlatform* installed_disk_platform() {
    std::lock_guard lock(platform_mutex());
    return platform_slot().get();
}
}  // namespace detail

}  // namespace tb
