// Disk arrivals of the simulated machine: its unplug, replug, power, removal
// and rescan change the disks it shows, and a watcher looking often sees
// each change.
#pragma once

#include <memory>

#include "platform/disk_arrivals.h"

namespace tb::sim {

constexpr int kSimArrivalLookMs = 100;

std::unique_ptr<DiskArrivals> make_sim_disk_arrivals();

}  // namespace tb::sim
