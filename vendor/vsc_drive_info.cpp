#include "disk/report_lines.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "vendor/record_report.h"
#include "vendor/vsc_commands.h"
#include "vendor/vsc_saved_file.h"
#include "vendor/vsc_send.h"

namespace tb {

// Source names where the record comes from on controllers that keep more
// than one; these controllers answer with the running one, so any value
// reads the same record.
void cmd_VSC_GetDrvInfo(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {{"Source", "", ArgType::Number, "0", 0, 0xFFFFFFFF}};
    if (!read_args(slot, args, name, kSpecs)) return;
    const auto record = vsc_read(slot, name, VendorOp::DriveInformation);
    if (!record || !vsc_save_record(slot, "", ".drv", *record)) return;
    const std::optional<DriveInformation> info = decode_drive_information(*record);
    if (!info) {
        raise_error(slot, kErrInvalidData, name + ": drive information without its 0x5A signature");
        return;
    }
    write_report(slot, drive_information_lines(*info));
}

}  // namespace tb
