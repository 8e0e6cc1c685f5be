// The simulated machine's USB relay library: the machine's relay (if its
// file has one) is the only device it lists and opens; its channel 1
// switches the disks fed by the relay (open: their power is cut).
#pragma once

#include <memory>

#include "platform/relay_library.h"

namespace tb::sim {

std::unique_ptr<RelayLoader> make_sim_relay_loader();

}  // namespace tb::sim
