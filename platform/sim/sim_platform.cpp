#include "platform/sim/sim_platform.h"

#include <cstdlib>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_pci.h"

namespace tb::sim {

SimPlatform::SimPlatform(std::shared_ptr<SimMachine> machine) : machine_(std::move(machine)) {}
SimPlatform::~SimPlatform() = default;

std::vector<DiscoveredDisk> SimPlatform::discover() { return machine_->discover(); }

std::unique_ptr<DiskDevice> SimPlatform::open(const std::string& path) { return machine_->open(path); }

std::optional<uint32_t> SimPlatform::machine_number(uint32_t disk_number) const {
    if (!machine_->config().number_by_place) return disk_number;
    auto disk = machine_->system_disk(disk_number);
    if (!disk) return std::nullopt;
    return disk->number();
}

bool SimPlatform::set_device_enabled(uint32_t disk_number, bool enable) {
    if (enable) {
        auto it = disabled_.find(disk_number);
        if (it != disabled_.end()) {
            const uint32_t own = it->second;
            disabled_.erase(it);
            return machine_->set_enabled(own, true);
        }
    }
    auto own = machine_number(disk_number);
    if (!own || !machine_->set_enabled(*own, enable)) return false;
    if (!enable) disabled_[disk_number] = *own;
    return true;
}

bool SimPlatform::remove_device(uint32_t disk_number) {
    auto own = machine_number(disk_number);
    return own && machine_->remove(*own);
}

bool SimPlatform::rescan_devices() {
    machine_->rescan();
    return true;
}

SimPciLink* SimPlatform::pci_link(uint32_t disk_number) {
    auto own = machine_number(disk_number);
    if (!own || !machine_->disk(*own)) return nullptr;  // absent or removed
    for (const DiskConfig& d : machine_->config().disks) {
        if (d.number != *own || d.type != DiskType::Nvme) continue;
        auto& link = pci_[*own];
        if (!link) link = std::make_unique<SimPciLink>(d);
        return link.get();
    }
    return nullptr;
}

bool SimPlatform::read_pci_config(uint32_t disk_number, bool upstream, std::vector<uint8_t>& out) {
    SimPciLink* link = pci_link(disk_number);
    if (!link) return false;
    out = link->read(upstream);
    return true;
}

bool SimPlatform::write_pci_config(uint32_t disk_number, bool upstream, uint32_t offset,
                                   std::span<const uint8_t> bytes) {
    SimPciLink* link = pci_link(disk_number);
    return link && link->write(upstream, offset, bytes);
}

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
