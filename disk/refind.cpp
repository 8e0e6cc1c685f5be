#include "disk/refind.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_discovery.h"
#include "disk/target_select.h"
#include "disk/vendor_identification.h"
#include "platform/disk_device.h"
#include "script/app_context.h"
#include "ui/job_log.h"

namespace tb {

namespace {

// Sleeps `ms` in short steps; false when the slot's cancel flag ended it.
bool sleep_unless_cancelled(int slot, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (cancel_requested(slot)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !cancel_requested(slot);
}

void adopt(const DiskRecord& found) {
    DiskRecord record = found;
    identify_vendor(record);
    set_current_target(record);
}

}  // namespace

bool same_location(const DiskRecord& target, const DiskRecord& candidate) {
    if (candidate.bus_type != target.bus_type) return false;
    if (candidate.record_kind != target.record_kind) return false;
    if (target.bus_type == kBusSata || target.bus_type == kBusSas)
        return candidate.scsi_path_id == target.scsi_path_id &&
               candidate.scsi_target_lun == target.scsi_target_lun;
    return candidate.port_location == target.port_location &&
           candidate.access_protocol == target.access_protocol;
}

bool refind_current_target(std::string_view path) {
    const DiskRecord wanted = current_target();
    DiskTable& table = disk_table();
    if (discover(table, kDiskTableCapacity) <= 0) return false;
    for (int i = 0; i < table.count; ++i) {
        const DiskRecord& r = table.records[static_cast<size_t>(i)];
        bool hit = path.empty() ? same_location(wanted, r) : iequals(r.device_path, path);
        if (!hit) continue;
        adopt(r);
        return true;
    }
    return false;
}

std::string location_text(const DiskRecord& r) {
    return fmt("%d-%d-%d-%d-%d-%d", r.bus_type, r.scsi_path_id, r.port_location, r.scsi_target_lun,
               r.record_kind, r.access_protocol);
}

bool parse_location_text(std::string_view text, DiskRecord& record) {
    uint32_t values[6] = {};
    size_t i = 0;
    for (int n = 0; n < 6; ++n) {
        if (n > 0) {
            if (i >= text.size() || text[i] != '-') return false;
            ++i;
        }
        size_t start = i;
        uint64_t v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            v = v * 10 + static_cast<uint64_t>(text[i] - '0');
            if (v > 0xFFFFFFFFull) return false;
            ++i;
        }
        if (i == start) return false;
        values[n] = static_cast<uint32_t>(v);
    }
    if (trim_view(text.substr(i), " \t\r\n").size() != 0) return false;
    if (values[5] > 0xFF) return false;
    record.bus_type = values[0];
    record.scsi_path_id = values[1];
    record.port_location = values[2];
    record.scsi_target_lun = values[3];
    record.record_kind = values[4];
    record.access_protocol = static_cast<uint8_t>(values[5]);
    return true;
}

bool refind_by_location_text(std::string_view text) {
    DiskRecord& target = current_target();
    if (!parse_location_text(text, target)) return false;
    app().access_protocol = target.access_protocol;
    return refind_current_target();
}

int wait_for_disk(int slot, int timeout_s) {
    int status = write_line(slot, "Wait Disk...", LineFormat::Normal, 10, colour::kGrey);
    for (int i = 0;; ++i) {
        if (i > timeout_s) {
            write_line(slot, "TimeOut, Disk Disconnect", LineFormat::Normal, 10, colour::kRed);
            return 0;
        }
        rewrite_line(slot, status, fmt("Wait Disk Remain Timeout %d sec", timeout_s - i));
        if (!sleep_unless_cancelled(slot, 1000)) return 0;
        if (refind_current_target()) break;
    }
    rewrite_line(slot, status, "");
    write_line(slot, fmt("Find Disk : %s", current_target().device_path));
    notify_disk_change(slot, DiskNotice::Refound, current_target().device_path);
    return 1;
}

}  // namespace tb
