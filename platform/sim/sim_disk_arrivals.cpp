#include "platform/sim/sim_disk_arrivals.h"

#include "platform/disk_arrival_poll.h"

namespace tb::sim {

std::unique_ptr<DiskArrivals> make_sim_disk_arrivals() {
    return std::make_unique<PolledDiskArrivals>(kSimArrivalLookMs);
}

}  // namespace tb::sim
