// The simulated test PC: fixed machine facts, and for a simulated disk its
// driver, its link (the PCIe link of its simulated configuration space, a
// SATA or USB link) and the bridge in front of it.
#pragma once

#include <memory>

#include "platform/system_report.h"

namespace tb::sim {

std::unique_ptr<SystemReport> make_sim_system_report();

}  // namespace tb::sim
