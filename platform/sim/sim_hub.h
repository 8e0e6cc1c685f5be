// The simulated machine's power hub behind its serial port name: a line
// that takes the hub's frames of its kind, switches the ports feeding the
// machine's disks, and answers state queries. Bytes it does not understand
// are dropped, as a real hub ignores them.
#pragma once

#include <memory>

#include "platform/serial_line.h"

namespace tb::sim {

// The serial ports of the simulated machine in use: only its hub's name
// opens (once at a time); every other name is missing.
std::unique_ptr<SerialPorts> make_sim_serial_ports();

}  // namespace tb::sim
