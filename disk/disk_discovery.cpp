#include "disk/disk_discovery.h"

#include <algorithm>
#include <vector>

#include "common/format.h"
#include "common/text.h"
#include "disk/classification.h"
#include "disk/disk_identity.h"

namespace tb {

namespace {

// Field capacities in UTF-16 units, terminator included.
constexpr size_t kNameChars = 128, kPathChars = 64, kInterfaceChars = 256, kVersionChars = 64,
                 kFirmwareChars = 16;
constexpr size_t kVolumesPerDisk = 8;

bool is_drive_letter(char c) { return c >= 'C' && c <= 'Z'; }

std::string drive_path(char letter) { return fmt("\\\\.\\%c:", letter); }

// The disk's volumes with drive letters C..Z, in letter order.
std::vector<DiscoveredVolume> lettered_volumes(const DiscoveredDisk& disk) {
    std::vector<DiscoveredVolume> out;
    for (const DiscoveredVolume& v : disk.volumes) {
        char letter = ascii_upper(v.letter);
        if (!is_drive_letter(letter)) continue;
        DiscoveredVolume copy = v;
        copy.letter = letter;
        out.push_back(copy);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const DiscoveredVolume& a, const DiscoveredVolume& b) { return a.letter < b.letter; });
    return out;
}

// Model and firmware from identify replace the names of the friendly name.
void apply_identity(DiskRecord& r) {
    const bool ata = is_ata_protocol(r.access_protocol);
    if (!ata && !is_nvme_protocol(r.access_protocol)) return;
    DriveIdentity id = read_drive_identity(r);
    if (!id.ok) return;
    if (!id.model.empty()) {
        r.display_name = field_text(id.model, kNameChars);
        r.model_name = r.display_name;
    }
    r.firmware_revision = field_text(id.firmware, kFirmwareChars);
    r.supports_trim = id.supports_trim;
    if (!ata) r.pci_vendor_id = id.pci_vendor_id;
}

}  // namespace

std::string field_text(std::string_view text, size_t capacity) {
    return capacity == 0 ? std::string() : utf16_truncate(text, capacity - 1);
}

DiskRecord build_disk_record(const DiscoveredDisk& d) {
    DiskRecord r;
    r.display_name = field_text(d.friendly_name, kNameChars);
    r.model_name = r.display_name;
    r.device_path = fmt("\\\\.\\PHYSICALDRIVE%d", d.disk_number);
    r.physical_path = r.device_path;
    r.port_device_path = fmt("\\\\.\\scsi%d:", d.scsi_port);
    r.interface_path = field_text(d.interface_path, kInterfaceChars);
    r.controller_name = field_text(d.controller_name, kNameChars);
    r.controller_instance = field_text(d.controller_instance, kNameChars);
    r.controller_service = field_text(d.controller_service, kNameChars);
    r.driver_version = field_text(d.driver_version, kVersionChars);
    r.bytes_per_sector = d.bytes_per_sector;
    r.scsi_path_id = d.scsi_path_id;
    r.scsi_target_lun = d.scsi_target * 100 + d.scsi_lun;
    r.port_location = d.port_location;
    r.disk_number = d.disk_number;
    r.record_kind = kRecordDisk;
    r.size_a = d.length_bytes;
    r.size_b = d.length_bytes;
    r.bus_type = d.bus_type;
    r.alignment_flag = 1;
    r.native_path = d.native_path;

    r.raw_flag = 1;
    r.system_flag = 0;
    std::string letters;
    for (const DiscoveredVolume& v : lettered_volumes(d)) {
        letters += fmt("%c: ", v.letter);
        r.raw_flag = 0;
        if (v.letter == 'C') r.system_flag = 1;
        if (r.first_volume_path.empty()) r.first_volume_path = drive_path(v.letter);
    }
    r.drive_letters = field_text(letters, kPathChars);
    if (d.in_use) r.raw_flag = 0;

    classify_disk(r, d.removable);
    r.controller_name = field_text(r.controller_name, kNameChars);
    apply_identity(r);
    return r;
}

DiskRecord build_volume_record(const DiskRecord& disk, const DiscoveredVolume& v) {
    DiskRecord r = disk;
    std::string drive = fmt("%c:", ascii_upper(v.letter));
    r.display_name = field_text(fmt(v.aligned_4k ? "[%s] - 4K Aligned" : "[%s] - Non 4K Align", drive), kNameChars);
    r.model_name = disk.model_name;
    r.device_path = fmt("\\\\.\\%s", drive);
    r.first_volume_path = r.device_path;
    r.drive_letters = drive;
    r.size_a = v.free_bytes;
    r.size_b = v.total_bytes;
    r.record_kind = kRecordVolume;
    r.raw_flag = 0;
    r.alignment_flag = v.aligned_4k ? 1 : 0;
    r.native_path = v.native_path;
    return r;
}

int discover(DiskTable& table, int capacity) {
    capacity = std::clamp(capacity, 0, kDiskTableCapacity);
    DiskPlatform& platform = disk_platform();
    std::vector<DiskRecord> records;
    for (const DiscoveredDisk& d : platform.discover()) {
        DiskRecord disk = build_disk_record(d);
        records.push_back(disk);
        if (disk.raw_flag) continue;
        size_t count = 0;
        for (const DiscoveredVolume& v : lettered_volumes(d)) {
            if (count++ == kVolumesPerDisk) break;
            records.push_back(build_volume_record(disk, v));
        }
    }

    table.records.fill(DiskRecord{});
    if (records.size() > static_cast<size_t>(capacity)) {
        table.count = 0;
        return -1;
    }
    std::copy(records.begin(), records.end(), table.records.begin());
    table.count = static_cast<int>(records.size());
    return table.count;
}

}  // namespace tb
