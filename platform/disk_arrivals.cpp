#include "platform/disk_arrivals.h"

#include "platform/machine_facility.h"
#include "platform/sim/sim_disk_arrivals.h"

namespace tb {

namespace {

MachineFacility<DiskArrivals>& facility() {
    static MachineFacility<DiskArrivals> f(
        []() -> std::shared_ptr<DiskArrivals> { return sim::make_sim_disk_arrivals(); },
        []() -> std::shared_ptr<DiskArrivals> { return make_native_disk_arrivals(); });
    return f;
}

}  // namespace

DiskArrivals& disk_arrivals() { return *facility().get(); }

void set_disk_arrivals(std::unique_ptr<DiskArrivals> arrivals) { facility().install(std::move(arrivals)); }

}  // namespace tb
