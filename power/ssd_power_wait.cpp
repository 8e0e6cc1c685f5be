#include "power/ssd_power_wait.h"

#include <string>

#include "common/format.h"
#include "disk/refind.h"
#include "platform/disk_device.h"
#include "power/hub.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr uint64_t kSettleAfterOnMs = 5000;
constexpr int kRescanEverySeconds = 5;

bool waited(int slot, uint64_t ms) {
    sleep_cancellable(slot, ms);
    return !cancel_requested(slot);
}

}  // namespace

int power_on_through_hub(int slot, const DiskRecord& target, uint32_t port, int timeout_s) {
    std::string detail;
    auto hub = open_power_hub(detail);
    if (!hub) {
        raise_error(slot, kErrPowerHub, detail);
        return kErrPowerHub;
    }
    log_text(slot, "Relay PowerON", colour::kOlive);
    const int line = write_line(slot, "Wait Disk...", LineFormat::Normal, 10, colour::kGrey);
    if (int rc = hub->switch_port(port, true, detail); rc != 1) {
        hub.reset();
        raise_error(slot, rc, detail);
        return rc;
    }
    if (!waited(slot, kSettleAfterOnMs)) return 0;
    const bool nvme = target.bus_type == kBusNvme;
    for (int i = 0; i <= timeout_s; ++i) {
        rewrite_line(slot, line, fmt("Wait Disk Remain Timeout %d sec", timeout_s - i));
        if (i % kRescanEverySeconds == 0) {
            if (nvme && i > 0) disk_platform().rescan_devices();  // the disk's PCIe port first
            disk_platform().rescan_devices();
        }
        if (!waited(slot, 1000)) return 0;
        if (refind_current_target()) {
            hub.reset();
            rewrite_line(slot, line, "");
            log_text(slot, "Find Disk");
            return 1;
        }
    }
    hub.reset();
    log_error_line(slot, nvme ? "PowerOn - TimeOut, Disk Disconnect or MotherBoard Not Support ReConnect PCIE."
                              : "PowerOn - TimeOut, Disk Disconnect");
    return 0;
}

}  // namespace tb
