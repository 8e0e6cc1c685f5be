// The process-wide disk platform: the simulated machine unless another one
// was installed.
#include <cstdio>
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

// A machine without disks: the last resort when not even the built-in
// simulated machine can be made (no writable temporary folder).
class NoDiskPlatform final : public DiskPlatform {
  public:
    std::string name() const override { return "sim"; }
    std::vector<DiscoveredDisk> discover() override { return {}; }
    std::unique_ptr<DiskDevice> open(const std::string&) override { return nullptr; }
};

std::unique_ptr<DiskPlatform> default_platform() {
    std::string error;
    if (auto p = sim::make_sim_platform({}, &error)) return p;
    std::fprintf(stderr, "simulated machine: %s; using the built-in machine\n", error.c_str());
    if (auto p = sim::make_sim_platform_from_config(sim::default_sim_config(), &error)) return p;
    std::fprintf(stderr, "simulated machine: %s\n", error.c_str());
    return std::make_unique<NoDiskPlatform>();
}

}  // namespace

DiskPlatform& disk_platform() {
    std::lock_guard lock(platform_mutex());
    auto& slot = platform_slot();
    if (!slot) slot = default_platform();
    return *slot;
}

void set_disk_platform(std::unique_ptr<DiskPlatform> platform) {
    std::lock_guard lock(platform_mutex());
    platform_slot() = std::move(platform);
}

}  // namespace tb
