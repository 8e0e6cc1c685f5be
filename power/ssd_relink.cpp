#include "power/ssd_relink.h"

#include "common/format.h"
#include "disk/ata_transport.h"
#include "disk/disk_record.h"
#include "disk/refind.h"
#include "platform/disk_device.h"
#include "power/power_arg_limits.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

// A bridge power request that did not go through ends the command with
// its code (-1 when the bridge could not be opened, -74 otherwise).
bool bridge_request_sent(int slot, int rc, const char* what) {
    if (rc == 1) return true;
    raise_error(slot, rc < 0 ? rc : kErrIoControl, what);
    return false;
}

// Sends the re-link that fits the disk's access path; false after raising
// an error when it could not be sent.
bool relink(int slot, const DiskRecord& target) {
    switch (target.access_protocol) {
        case kProtoJmi: {
            constexpr const char* kLine = "JMI USB Bridge Power ReLink Disk";
            log_text(slot, kLine, colour::kOlive);
            return bridge_request_sent(slot, jmicron_power_request(target, kJmiRelink), kLine);
        }
        case kProtoAsm2362:
        case kProtoAsm2364: {
            constexpr const char* kLine = "ASM USB Bridge Power ReLink Disk";
            log_text(slot, kLine, colour::kOlive);
            return bridge_request_sent(slot, asmedia_power_request(target, kAsmRelink), kLine);
        }
        case kProtoRtl9210B:
            return true;  // this bridge has no re-link request
        default: {
            constexpr const char* kLine = "PCIE ReLink Disk";
            log_text(slot, kLine, colour::kOlive);
            if (disk_platform().relink_device(target.disk_number)) return true;
            raise_error(slot, kErrChangeDriver, fmt("%s %s", kLine, target.physical_path));
            return false;
        }
    }
}

}  // namespace

void cmd_SSDPowerReLink(int slot, const std::string& args, const std::string& name) {
    // Port is checked like every hub port, but a re-link switches no hub.
    constexpr ArgSpec kSpecs[] = {
        {"TimeoutSec", "", ArgType::Number, "20", 0, kLongestWaitSeconds},
        {"Port", "", ArgType::Number, "0", 0, kHighestHubPort},
    };
    const auto a = read_args(slot, args, "SSDPowerReLink", kSpecs);
    if (!a) return;
    int64_t timeout_s = a->number("TimeoutSec");
    if (timeout_s == 0) timeout_s = kLongestWaitSeconds;
    if (!relink(slot, current_target())) return;
    if (cancel_requested(slot)) return;
    set_result_number(slot, name, wait_for_disk(slot, static_cast<int>(timeout_s)));
}

}  // namespace tb
