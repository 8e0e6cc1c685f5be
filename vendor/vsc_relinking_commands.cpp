#include "disk/disk_record.h"
#include "script/arg_table.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "vendor/vendor_confirm.h"
#include "vendor/vsc_commands.h"
#include "script/app_context.h"
#include "vendor/vsc_relink.h"
#include "vendor/vsc_send.h"

namespace tb {

namespace {

constexpr uint32_t kVirginSettleMs = 5000;
constexpr uint32_t kForceSettleMs = 1000;
constexpr uint32_t kRecoverySettleMs = 8000;
constexpr uint32_t kNormalFirmwareMode = 1;

void set_back(int slot, const std::string& name, bool back) { set_result_number(slot, name, back ? 1 : 0); }

// After recovery mode, a disk reached directly: a drive running firmware
// that keeps a configuration boots into it by force and is found again; a
// drive that ran its ROM code needs its power cut to get back there.
void after_recovery_direct(int slot, const std::string& name, int32_t firmware_kind) {
    if (firmware_kind >= 1 && firmware_kind <= 3) {
        log_text(slot, "Force Boot");
        VendorArgs mode;
        mode.a = kNormalFirmwareMode;
        if (!vsc_send(slot, name, VendorOp::ForceFirmwareMode, mode)) return;
        set_back(slot, name, vsc_remove_rescan(slot));
    } else if (firmware_kind == 0) {
        log_text(slot, "Must Power Reset Disk to back ROM Code.", colour::kYellow);
    }
}

}  // namespace

void cmd_VSC_FTLVirgin(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {{"ConfirmMsg", "", ArgType::Bool, "TRUE"}};
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    if (!vendor_confirm(slot, a->flag("ConfirmMsg"), "Do you want virgin FTL of disk?")) return;
    if (!vsc_send(slot, name, VendorOp::FtlVirgin)) return;
    sleep_cancellable(slot, kVirginSettleMs);
    set_back(slot, name, vsc_relink_link(slot));
}

void cmd_VSC_ForceTo(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {{"iFWMode", "", ArgType::Number, "0", 0, 0xFFFFFFFF}};
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    VendorArgs mode;
    mode.a = static_cast<uint32_t>(a->number("iFWMode"));
    if (!vsc_send(slot, name, VendorOp::ForceFirmwareMode, mode)) return;
    sleep_cancellable(slot, kForceSettleMs);
    set_back(slot, name, vsc_relink_rescan(slot));
}

void cmd_VSC_KillFW(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {{"ConfirmMsg", "", ArgType::Bool, "TRUE"}};
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    if (!vendor_confirm(slot, a->flag("ConfirmMsg"), "Do you want kill FW to Recovery Mode?")) return;
    const int32_t firmware_kind = current_target().firmware_kind;
    if (!vsc_send(slot, name, VendorOp::RecoveryMode)) return;
    sleep_cancellable(slot, kRecoverySettleMs);
    if (vsc_behind_bridge()) set_back(slot, name, vsc_power_reset(slot));
    else after_recovery_direct(slot, name, firmware_kind);
}

}  // namespace tb
