#include "platform/sim/sim_platform.h"

#include <cstdlib>

#include "platform/sim/sim_machine.h"

namespace tb::sim {

SimPlatform::SimPlatform(std::shared_ptr<SimMachine> machine) : machine_(std::move(machine)) {}
SimPlatform::~SimPlatform() = default;

std::vector<DiscoveredDisk> SimPlatform::discover() { return machine_->discover(); }

std::unique_ptr<DiskDevice> SimPlatform::open(const std::string& path) { return machine_->open(path); }

bool SimPlatform::set_device_enabled(uint32_t disk_number, bool enable) {
    return machine_->set_enabled(disk_number, enable);
}

bool SimPlatform::remove_device(uint32_t disk_number) { return machine_->remove(disk_number); }

std::unique_ptr<SimPlatform> make_sim_platform_from_config(const SimConfig& config, std::string* error) {
    auto m = SimMachine::create(config, error);
    if (!m) return nullptr;
    return std::make_unique<SimPlatform>(std::shared_ptr<SimMachine>(std::move(m)));
}

std::unique_ptr<DiskPlatform> make_sim_platform(const std::string& config_path_or_empty, std::string* error) {
    std::string path = config_path_or_empty;
    if (path.empty()) {
        const char* env = std::getenv("TAMBLOR_SIM_CONFIG");
        if (env && *env) path = env;
    }
    std::optional<SimConfig> cfg = path.empty() ? std::optional<SimConfig>(default_sim_config())
                                                : load_sim_config(path, error);
    if (!cfg) return nullptr;
    return make_sim_platform_from_config(*cfg, error);
}

SimMachine* current_sim_machine() {
    auto* p = dynamic_cast<SimPlatform*>(&disk_platform());
    return p ? &p->machine() : nullptr;
}

}  // namespace tb::sim
