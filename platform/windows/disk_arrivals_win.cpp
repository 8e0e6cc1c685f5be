// Windows: the disks are listed again every two seconds (no window of the
// program receives the system's device notifications).
#include "platform/disk_arrival_poll.h"

namespace tb {

namespace {
constexpr int kWindowsArrivalLookMs = 2000;
}  // namespace

std::unique_ptr<DiskArrivals> make_native_disk_arrivals() {
    return std::make_unique<PolledDiskArrivals>(kWindowsArrivalLookMs);
}

}  // namespace tb
