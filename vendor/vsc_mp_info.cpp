#include "common/format.h"
#include "disk/report_lines.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "vendor/record_report.h"
#include "vendor/vsc_commands.h"
#include "vendor/vsc_saved_file.h"
#include "vendor/vsc_send.h"

namespace tb {

// The manufacturing information: NCB picks the record's block (the b
// argument of the operation; 0 is the main record).
void cmd_VSC_GetMPinfo(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {
        {"DefectList", "", ArgType::Bool, "FALSE"},
        {"NCB", "", ArgType::Number, "0", 0, 0xFFFFFFFF},
        {"MPInfoItem", "", ArgType::Text, ""},
        {"ShowOffset", "", ArgType::Bool, "FALSE"},
    };
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const std::string& item = a->text("MPInfoItem");
    const FwConfigItem* wanted = nullptr;
    if (!item.empty() && !(wanted = find_mp_info_item(item))) {
        raise_error(slot, kErrKeywordNotFound, fmt("%s: no manufacturing information item \"%s\"", name, item));
        return;
    }
    VendorArgs which;
    which.b = static_cast<uint32_t>(a->number("NCB"));
    const auto record = vsc_read(slot, name, VendorOp::ManufacturingInfo, which);
    if (!record || !vsc_save_record(slot, "", ".mpinfo", *record)) return;
    if (!decode_manufacturing_information(*record)) {
        raise_error(slot, kErrInvalidData, name + ": manufacturing information of an unknown length");
        return;
    }
    ReportLines lines;
    if (mp_info_lines(*record, item, a->flag("ShowOffset"), a->flag("DefectList"), lines) != 0) return;
    if (!write_report(slot, lines)) return;
    if (wanted) set_result_string(slot, name, named_field_text(*record, *wanted));
}

}  // namespace tb
