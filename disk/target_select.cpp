#include "disk/target_select.h"

#include "app/package_filter.h"
#include "common/text.h"
#include "disk/disk_discovery.h"
#include "disk/disk_identity.h"
#include "disk/target_match.h"
#include "disk/vendor_identification.h"
#include "script/app_context.h"

namespace tb {

namespace {

DiskRestriction g_restriction;
DiskNoticeHandler g_notice = nullptr;

// The model string the package's model filter looks at.
void read_filter_model(const DiskRecord& record, DiskIdentity& id) {
    if (is_ata_protocol(record.access_protocol) || is_nvme_protocol(record.access_protocol)) {
        DriveIdentity read = read_drive_identity(record);
        id.model_read = read.ok;
        id.model = read.model;
    } else {
        id.model = "UNKNOW";
    }
}

// The list build runs the vendor identification for the disks it can ask.
void identify_for_list(DiskRecord& record) {
    if (record.soc_id != 0) return;
    if (is_ata_protocol(record.access_protocol) || is_nvme_protocol(record.access_protocol))
        identify_vendor(record);
}

}  // namespace

void set_disk_restriction(const DiskRestriction& restriction) { g_restriction = restriction; }
const DiskRestriction& disk_restriction() { return g_restriction; }

bool disk_allowed(const DiskRecord& record) {
    const DiskRestriction& d = g_restriction;
    DiskIdentity id;
    id.access_protocol = record.access_protocol;
    id.soc_id = record.soc_id == 0xFFFFFFFFu ? -1 : static_cast<int64_t>(record.soc_id);
    if (!protocol_filter_accepts(d.protocol_filter, id)) return false;
    if (!d.active) return true;
    if (!d.model_filter.empty() && d.model_filter != "**") read_filter_model(record, id);
    return package_accepts_disk(d.model_filter, d.soc_filter, id);
}

void set_current_target(const DiskRecord& record) {
    current_target() = record;
    app().access_protocol = record.access_protocol;
    app().target = to_upper(record.device_path);
}

void clear_current_target() {
    DiskRecord none;
    none.raw_flag = 0;
    none.alignment_flag = 0;
    current_target() = none;
    app().access_protocol = kProtoNone;
}

bool has_current_target() { return !current_target().device_path.empty(); }

bool select_target(const std::string& selector) {
    DiskTable& table = disk_table();
    discover(table, kDiskTableCapacity);
    for (int i = 0; i < table.count && i < 255; ++i) {
        DiskRecord& r = table.records[static_cast<size_t>(i)];
        identify_for_list(r);
        if (!disk_allowed(r) || !match_target(selector, r)) continue;
        set_current_target(r);
        return true;
    }
    clear_current_target();
    return false;
}

bool select_default_target() {
    DiskTable& table = disk_table();
    discover(table, kDiskTableCapacity);
    const DiskRecord* with_letters = nullptr;
    for (int i = 0; i < table.count; ++i) {
        DiskRecord& r = table.records[static_cast<size_t>(i)];
        if (r.record_kind != kRecordDisk || r.system_flag) continue;
        identify_for_list(r);
        if (!disk_allowed(r)) continue;
        if (r.raw_flag) {
            set_current_target(r);
            return true;
        }
        if (!with_letters) with_letters = &r;
    }
    if (with_letters) {
        set_current_target(*with_letters);
        return true;
    }
    clear_current_target();
    return false;
}

void set_disk_notice_handler(DiskNoticeHandler handler) { g_notice = handler; }
bool disk_notice_handler_installed() { return g_notice != nullptr; }

void notify_disk_change(int slot, DiskNotice notice, const std::string& path) {
    if (g_notice) g_notice(slot, notice, path);
}

}  // namespace tb
