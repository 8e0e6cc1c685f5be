#include "disk/disk_presence.h"

#include <string>
#include <string_view>

#include "common/format.h"

namespace tb {

namespace {

// A record keeps its texts cut to the field's capacity: the record's copy
// matches when it is the whole text or a cut of it.
bool kept_text_matches(std::string_view kept, std::string_view text) {
    if (kept == text) return true;
    return !kept.empty() && kept.size() < text.size() && text.substr(0, kept.size()) == kept;
}

}  // namespace

bool is_same_disk(const DiskRecord& record, const DiscoveredDisk& candidate) {
    return candidate.bus_type == record.bus_type && candidate.port_location == record.port_location &&
           candidate.scsi_path_id == record.scsi_path_id &&
           candidate.scsi_target * 100 + candidate.scsi_lun == record.scsi_target_lun &&
           kept_text_matches(record.controller_instance, candidate.controller_instance) &&
           kept_text_matches(record.interface_path, candidate.interface_path);
}

std::optional<uint32_t> present_disk_number(const DiskRecord& record) {
    DiskPlatform& platform = disk_platform();
    for (const DiscoveredDisk& d : platform.discover()) {
        if (!is_same_disk(record, d)) continue;
        if (!platform.open(fmt("\\\\.\\PHYSICALDRIVE%d", d.disk_number))) return std::nullopt;
        return d.disk_number;
    }
    return std::nullopt;
}

}  // namespace tb
