#include "disk/report_lines.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "vendor/record_report.h"
#include "vendor/vsc_commands.h"
#include "vendor/vsc_saved_file.h"
#include "vendor/vsc_send.h"

namespace tb {

// The grown defect list (".gd") and then the per-die list (".dgd"). The
// result is the number of grown defects.
void cmd_VSC_GetGrownDefect(int slot, const std::string&, const std::string& name) {
    const auto grown = vsc_read(slot, name, VendorOp::GrownDefectList);
    if (!grown || !vsc_save_record(slot, "", ".gd", *grown)) return;
    const auto defects = decode_grown_defects(*grown);
    if (!defects) {
        raise_error(slot, kErrInvalidData, name + ": grown defect list with a bad signature or count");
        return;
    }
    if (!write_report(slot, grown_defect_lines(*defects))) return;
    const auto per_die = vsc_read(slot, name, VendorOp::DieGrownDefectList);
    if (!per_die || !vsc_save_record(slot, "", ".dgd", *per_die)) return;
    const auto dies = decode_die_defects(*per_die);
    if (!dies) {
        raise_error(slot, kErrInvalidData, name + ": die grown defect list with a bad signature or count");
        return;
    }
    if (write_report(slot, die_defect_lines(*dies))) set_result_number(slot, name, static_cast<int64_t>(defects->size()));
}

}  // namespace tb
