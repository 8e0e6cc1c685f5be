#include "common/format.h"
#include "disk/disk_record.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "vendor/vsc_commands.h"
#include "vendor/vsc_send.h"

namespace tb {

// The selector changes only when the disk took it: a non-zero selector
// first sends enable vendor mode, and a disk that refuses it keeps the
// selector it had.
void cmd_SetVSCType(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {{"iVSCType", "", ArgType::Number, "0", 0, 255}};
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const int selector = static_cast<int>(a->number("iVSCType"));
    if (!is_vendor_selector(selector)) {
        raise_error(slot, kErrParam, fmt("%s: iVSCType must be 0, 1 or 192, not %d", name, selector));
        return;
    }
    DiskRecord& disk = current_target();
    const int32_t before = disk.command_set;
    disk.command_set = selector;
    if (selector != 0 && !vsc_send(slot, name, VendorOp::EnableVendorMode)) {
        current_target().command_set = before;
        return;
    }
    log_text(slot, fmt("VSC Type : %d", selector));
}

}  // namespace tb
