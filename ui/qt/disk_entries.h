// The disks the window offers: discovery, the package's restriction and the
// entry text of each allowed disk or volume.
#pragma once

#include <string>
#include <vector>

#include "disk/disk_record.h"

namespace tb::qtui {

struct DiskEntry {
    std::string text;  // "%s (RAW)", "%s [%s]" or the volume's name
    DiskRecord record;
};

// The entry text of one record.
std::string disk_entry_text(const DiskRecord& record);

// Rediscovers the machine's disks and returns the allowed ones (vendor
// identification run for the disks that can be asked).
std::vector<DiskEntry> allowed_disk_entries();

// Identity fields shown beside the drop-down.
std::string link_text(const DiskRecord& record);
std::string capacity_text(const DiskRecord& record);

}  // namespace tb::qtui
