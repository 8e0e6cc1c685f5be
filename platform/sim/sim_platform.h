// The simulated machine: disks, bridges and volumes described by a small
// config file, every disk backed by one sparse file.
#pragma once

#include <memory>
#include <string>

#include "platform/disk_device.h"

namespace tb::sim {

class SimMachine;

// Builds the simulated machine from a config file; an empty path takes the
// file named by TAMBLOR_SIM_CONFIG, or the built-in default machine.
std::unique_ptr<DiskPlatform> make_sim_platform(const std::string& config_path_or_empty = {});

// The simulated machine behind the current disk platform, or nullptr when the
// current platform is not the simulator.
SimMachine* current_sim_machine();

}  // namespace tb::sim
