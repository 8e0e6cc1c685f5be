// The simulated machine's restart: its disks lose power (in order: caches
// flushed first; abruptly: unflushed writes lost) and this process ends at
// once with sim_restart_exit_code(), as the program would end when its
// machine goes down. The next start of the program on the same machine
// folder finds the disks as they were left.
#pragma once

#include <memory>

#include "platform/system_restart.h"

namespace tb::sim {

std::unique_ptr<SystemRestart> make_sim_system_restart();

}  // namespace tb::sim
