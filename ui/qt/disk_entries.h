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

// The entry chosen when none is: as the console start-up chooses, the first
// disk that is not the system disk, a RAW disk before one with drive letters;
// -1 when there is none.
int default_entry(const std::vector<DiskEntry>& entries);

// Identity fields shown beside the drop-down.
std::string link_text(const DiskRecord& record);
std::string capacity_text(const DiskRecord& record);

}  // namespace tb::qtui
