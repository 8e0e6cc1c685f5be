// Disk arrivals found by looking: the disks of the machine in use are listed
// again every so often and compared with the list before. The simulated
// machine and Windows watch this way.
#pragma once

#include <memory>

#include "platform/disk_arrivals.h"

namespace tb {

class PolledDiskArrivals final : public DiskArrivals {
public:
    explicit PolledDiskArrivals(int interval_ms) : interval_ms_(interval_ms) {}
    std::unique_ptr<DiskWatch> watch(DiskChangeHandler handler) override;

private:
    int interval_ms_;
};

}  // namespace tb
