// The simulated machine as a disk platform: disks, bridges and volumes
// described by a small config file (see sim_config.h), every disk backed by
// one sparse file.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/disk_device.h"
#include "platform/sim/sim_config.h"

namespace tb::sim {

class SimPciLink;
class SimMachine;

class SimPlatform final : public DiskPlatform {
  public:
    explicit SimPlatform(std::shared_ptr<SimMachine> machine);
    ~SimPlatform() override;
    std::string name() const override { return "sim"; }
    std::vector<DiscoveredDisk> discover() override;
    std::unique_ptr<DiskDevice> open(const std::string& path) override;
    bool set_device_enabled(uint32_t disk_number, bool enable) override;
    bool remove_device(uint32_t disk_number) override;
    // Re-enumerates the simulated device tree (always taken).
    bool rescan_devices() override;
    // NVMe disks on the PCI bus only (not those behind a USB bridge).
    bool read_pci_config(uint32_t disk_number, bool upstream, std::vector<uint8_t>& out) override;
    bool write_pci_config(uint32_t disk_number, bool upstream, uint32_t offset,
                          std::span<const uint8_t> bytes) override;

    SimMachine& machine() { return *machine_; }

  private:
    // The machine's own number of the disk the system numbers `disk_number`.
    std::optional<uint32_t> machine_number(uint32_t disk_number) const;
    SimPciLink* pci_link(uint32_t disk_number);

    std::shared_ptr<SimMachine> machine_;
    std::map<uint32_t, std::unique_ptr<SimPciLink>> pci_;
    // Disks disabled through this platform, by the number the system gave
    // them then: a disabled disk leaves the system, and a machine that
    // numbers disks by place gives that number to the next disk.
    std::map<uint32_t, uint32_t> disabled_;
};

// Builds the simulated machine from a config file. An empty path takes the
// file named by TAMBLOR_SIM_CONFIG, or else the built-in machine. nullptr
// with a message when the config is bad or a backing file cannot be made.
std::unique_ptr<DiskPlatform> make_sim_platform(const std::string& config_path_or_empty = {},
                                                std::string* error = nullptr);
std::unique_ptr<SimPlatform> make_sim_platform_from_config(const SimConfig& config, std::string* error = nullptr);

// The simulated machine behind the current disk platform, or nullptr when the
// current platform is not the simulator.
SimMachine* current_sim_machine();

}  // namespace tb::sim
