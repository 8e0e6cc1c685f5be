// The simulated machine's desktop: a folder of its own under the temporary
// folder; no program is ever started, so a run on the simulated machine
// opens no windows on the machine it runs on.
#pragma once

#include <memory>

#include "platform/desktop_open.h"

namespace tb::sim {

std::unique_ptr<Desktop> make_sim_desktop();

}  // namespace tb::sim
