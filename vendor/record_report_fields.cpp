// The lines of the named-field records: firmware configuration and
// manufacturing information.
#include "common/format.h"
#include "script/error_policy.h"
#include "vendor/record_report.h"

namespace tb {

namespace {

std::string item_line(std::span<const uint8_t> record, const FwConfigItem& item, bool show_offset) {
    const std::string line = fmt("%-24s : %s", item.name, named_field_text(record, item));
    return show_offset ? fmt("0x%04X  %s", item.offset, line) : line;
}

}  // namespace

int named_field_lines(std::span<const FwConfigItem> table, std::span<const uint8_t> record, std::string_view item,
                      bool show_offset, ReportLines& out) {
    if (!item.empty()) {
        const FwConfigItem* one = find_named_field(table, item);
        if (!one) return kErrKeywordNotFound;
        add_line(out, item_line(record, *one, show_offset));
        return 0;
    }
    for (const FwConfigItem& each : table) add_line(out, item_line(record, each, show_offset));
    return 0;
}

int fw_config_lines(std::span<const uint8_t> record, std::string_view item, bool show_offset, ReportLines& out) {
    ReportLines items;
    const int rc = named_field_lines(fw_config_items(), record, item, show_offset, items);
    if (rc != 0) return rc;
    out.insert(out.end(), items.begin(), items.end());
    if (!item.empty()) return 0;
    const uint32_t stored = static_cast<uint32_t>(le_value(record.subspan(kFwConfigChecksumOffset, 4)));
    if (fw_config_checksum_ok(record))
        add_line(out, fmt("Checksum                 : 0x%08X OK", stored), colour::kGreen);
    else
        add_line(out, fmt("Checksum                 : 0x%08X, expected 0x%08X", stored, fw_config_checksum(record)),
                 colour::kRed);
    return 0;
}

int mp_info_lines(std::span<const uint8_t> record, std::string_view item, bool show_offset, bool defect_list,
                  ReportLines& out) {
    ReportLines items;
    const int rc = named_field_lines(mp_info_items(), record, item, show_offset, items);
    if (rc != 0) return rc;
    out.insert(out.end(), items.begin(), items.end());
    if (!defect_list) return 0;
    const std::optional<ManufacturingInformation> m = decode_manufacturing_information(record);
    if (!m) return 0;
    add_line(out, "---- Factory Defects per Die ----", colour::kGreen);
    for (size_t d = 0; d < m->die_defects.size(); ++d)
        add_line(out, fmt("Die %3d                  : %d", d, m->die_defects[d]));
    return 0;
}

}  // namespace tb
