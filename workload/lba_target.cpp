#include "workload/lba_target.h"

#include "common/text.h"
#include "disk/disk_record.h"
#include "platform/block_storage.h"
#include "platform/volumes.h"

namespace tb {

namespace {

// "\\.\D:" -> 'D'; 0 when the path names no drive letter.
char drive_letter_of(const std::string& path) {
    if (path.size() >= 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':' && path.size() == 6)
        return ascii_upper(path[4]);
    return 0;
}

StorageAddress address_of(const DiskRecord& disk) {
    StorageAddress a;
    a.disk_number = disk.disk_number;
    a.volume_letter = disk.record_kind == kRecordVolume ? drive_letter_of(disk.device_path) : 0;
    a.path = disk.device_path;
    a.native_path = disk.native_path;
    return a;
}

// The first volume of `disk` (itself for a volume record); the letter alone
// when the disk table holds no record of it.
StorageAddress first_volume_of(const DiskRecord& disk) {
    if (disk.record_kind == kRecordVolume) return address_of(disk);
    StorageAddress a;
    a.disk_number = disk.disk_number;
    a.volume_letter = drive_letter_of(disk.first_volume_path);
    a.path = disk.first_volume_path;
    const DiskTable& t = disk_table();
    for (int i = 0; i < t.count; ++i) {
        const DiskRecord& r = t.records[i];
        if (r.record_kind == kRecordVolume && r.device_path == disk.first_volume_path) return address_of(r);
    }
    return a;
}

}  // namespace

TargetMode target_mode(const DiskRecord& disk) {
    if (disk.record_kind == kRecordVolume) return TargetMode::Partition;
    return disk.raw_flag ? TargetMode::Raw : TargetMode::FileSystem;
}

std::unique_ptr<IoTarget> open_disk_target(const DiskRecord& disk, std::string* error) {
    return block_storage().open_disk(address_of(disk), error);
}

std::unique_ptr<IoTarget> open_file_target(const std::string& path, std::string* error) {
    return block_storage().open_path(path, PathOptions{}, error);
}

std::string volume_root(const DiskRecord& disk) {
    StorageAddress volume = first_volume_of(disk);
    if (!volume.volume_letter) return {};
    return volumes().root_folder(volume);
}

uint64_t free_bytes_at(const std::string& folder) { return volumes().free_bytes(folder); }

uint64_t disk_bytes(const DiskRecord& disk) { return disk.size_b ? disk.size_b : disk.size_a; }

}  // namespace tb
