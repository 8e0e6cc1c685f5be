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

namespace {

// The configuration as the drive holds it: read, saved, and refused when it
// is not a sealed configuration record.
std::optional<std::vector<uint8_t>> read_config(int slot, const std::string& name) {
    auto record = vsc_read(slot, name, VendorOp::FwConfigRead);
    if (!record || !vsc_save_record(slot, "", ".fwcfg", *record)) return std::nullopt;
    if (!fw_config_magic_ok(*record) || !fw_config_checksum_ok(*record)) {
        raise_error(slot, kErrInvalidData, name + ": the drive's firmware configuration has a bad signature or checksum");
        return std::nullopt;
    }
    return record;
}

// The item named `item`, or nullptr after raising -28.
const FwConfigItem* known_item(int slot, const std::string& name, const std::string& item) {
    const FwConfigItem* found = find_fw_config_item(item);
    if (!found) raise_error(slot, kErrKeywordNotFound, fmt("%s: no configuration item \"%s\"", name, item));
    return found;
}

}  // namespace

void cmd_VSC_GetFWconfig(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {
        {"FWCfgItem", "", ArgType::Text, ""},
        {"ShowOffset", "", ArgType::Bool, "FALSE"},
    };
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const std::string& item = a->text("FWCfgItem");
    const FwConfigItem* wanted = nullptr;
    if (!item.empty() && !(wanted = known_item(slot, name, item))) return;
    const auto record = vsc_read(slot, name, VendorOp::FwConfigRead);
    if (!record || !vsc_save_record(slot, "", ".fwcfg", *record)) return;
    ReportLines lines;
    if (fw_config_lines(*record, item, a->flag("ShowOffset"), lines) != 0) return;
    if (!write_report(slot, lines)) return;
    if (wanted) set_result_string(slot, name, fw_config_item_text(*record, *wanted));
}

// Read, change one item, write back sealed with the checksum the write
// carries. The item and the value are checked before anything is written.
void cmd_VSC_SetFWconfig(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {
        {"FWCfgItem", "", ArgType::Text, "vendor_model_name"},
        {"SetValue", "", ArgType::Text, ""},
    };
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const std::string& item_name = a->text("FWCfgItem");
    const std::string& value = a->text("SetValue");
    const FwConfigItem* item = known_item(slot, name, item_name);
    if (!item) return;
    auto record = read_config(slot, name);
    if (!record) return;
    const std::string before = fw_config_item_text(*record, *item);
    if (set_fw_config_item(*record, *item, value) != 0) {
        raise_error(slot, kErrParam,
                    fmt("%s: \"%s\" does not fit %s (%d bytes, %s)", name, value, item->name, item->size,
                        item->kind == FwConfigItem::Text ? "text" : "number"));
        return;
    }
    seal_fw_config(*record);
    VendorArgs write;
    write.checksum = fw_config_checksum(*record);
    if (!vsc_send(slot, name, VendorOp::FwConfigWrite, write, *record)) return;
    log_text(slot, fmt("%-24s : %s -> %s", item->name, before, fw_config_item_text(*record, *item)), colour::kGreen);
    set_result_string(slot, name, fw_config_item_text(*record, *item));
}

}  // namespace tb
