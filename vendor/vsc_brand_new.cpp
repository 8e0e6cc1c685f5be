#include "disk/disk_record.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "vendor/vendor_confirm.h"
#include "vendor/vendor_records.h"
#include "vendor/vendor_send.h"
#include "vendor/vsc_commands.h"
#include "vendor/vsc_send.h"

namespace tb {

namespace {

constexpr uint32_t kSettleMs = 1000;
constexpr int kReadyAttempts = 30;
constexpr uint32_t kAttemptGapMs = 1000;

// One look at the drive information: read, a valid record, and the drive
// says it is ready. A failed read is expected while the drive restarts.
bool drive_ready(int slot) {
    std::vector<uint8_t> record(kVendorDataLength, 0);
    if (send_vendor(slot, current_target(), VendorOp::DriveInformation, {}, record) < 0) return false;
    const std::optional<DriveInformation> info = decode_drive_information(record);
    return info && info->ready != kDriveNotReady;
}

}  // namespace

// Brand new: the drive restarts into the state it left the factory in and
// reports "not ready" in its drive information until it has rebuilt itself.
void cmd_VSC_BrandNew(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {{"ConfirmMsg", "", ArgType::Bool, "TRUE"}};
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    if (!vendor_confirm(slot, a->flag("ConfirmMsg"), "Do you want Brand New of disk?")) return;
    if (!vsc_send(slot, name, VendorOp::BrandNew)) return;
    sleep_cancellable(slot, kSettleMs);
    for (int attempt = 0; attempt < kReadyAttempts && !cancel_requested(slot); ++attempt) {
        if (attempt > 0) sleep_cancellable(slot, kAttemptGapMs);
        if (drive_ready(slot)) {
            log_text(slot, "Brand New Done");
            set_result_number(slot, name, 1);
            return;
        }
    }
    if (cancel_requested(slot)) return;
    log_error_line(slot, "Brand New Timeout");
    raise_error(slot, kErrIoTimeout, "Brand New Timeout");
}

}  // namespace tb
