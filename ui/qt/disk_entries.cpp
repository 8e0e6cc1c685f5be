#include "ui/qt/disk_entries.h"

#include "common/format.h"
#include "common/text.h"
#include "disk/capacity.h"
#include "disk/disk_discovery.h"
#include "disk/target_select.h"
#include "disk/vendor_identification.h"

namespace tb::qtui {

namespace {

bool vendor_askable(const DiskRecord& r) {
    const uint8_t p = r.access_protocol;
    return r.soc_id == 0 && (p == 1 || p == 2 || (p >= 10 && p <= 17));
}

}  // namespace

std::string disk_entry_text(const DiskRecord& r) {
    if (r.record_kind == kRecordVolume) return r.display_name;
    if (r.raw_flag) return fmt("%s (RAW)", r.model_name);
    return fmt("%s [%s]", r.model_name, trim(r.drive_letters, " "));
}

std::vector<DiskEntry> allowed_disk_entries() {
    DiskTable& table = disk_table();
    discover(table, kDiskTableCapacity);
    std::vector<DiskEntry> entries;
    for (int i = 0; i < table.count; ++i) {
        DiskRecord& r = table.records[static_cast<size_t>(i)];
        if (r.record_kind == kRecordDisk && vendor_askable(r)) identify_vendor(r);
        if (!disk_allowed(r)) continue;
        entries.push_back({disk_entry_text(r), r});
    }
    return entries;
}

int default_entry(const std::vector<DiskEntry>& entries) {
    int with_letters = -1;
    for (size_t i = 0; i < entries.size(); ++i) {
        const DiskRecord& r = entries[i].record;
        if (r.record_kind != kRecordDisk || r.system_flag) continue;
        if (r.raw_flag) return static_cast<int>(i);
        if (with_letters < 0) with_letters = static_cast<int>(i);
    }
    return with_letters;
}

std::string link_text(const DiskRecord& r) {
    if (r.native_path.empty()) return r.controller_name;
    if (r.controller_name.empty()) return r.native_path;
    return fmt("%s  %s", r.controller_name, r.native_path);
}

std::string capacity_text(const DiskRecord& r) {
    return fmt("%d GB", static_cast<int>(capacity_gb(r.bytes_per_sector, r.size_b)));
}

}  // namespace tb::qtui
