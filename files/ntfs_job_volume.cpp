#include "files/ntfs_job_volume.h"

#include "common/format.h"
#include "common/text.h"
#include "platform/volumes.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"
#include "workload/lba_target.h"

namespace tb::ntfs {

namespace {

// The volume record of the job's target; false for a disk without volumes.
bool job_partition(const DiskRecord& target, DiskRecord& out) {
    if (target.record_kind == kRecordVolume) {
        out = target;
        return true;
    }
    if (target.raw_flag) return false;
    const DiskTable& t = disk_table();
    for (int i = 0; i < t.count; ++i) {
        const DiskRecord& r = t.records[static_cast<size_t>(i)];
        if (r.record_kind == kRecordVolume && r.disk_number == target.disk_number &&
            (target.first_volume_path.empty() || r.device_path == target.first_volume_path)) {
            out = r;
            return true;
        }
    }
    return false;
}

DiskRecord disk_of(const DiskRecord& volume) {
    const DiskTable& t = disk_table();
    for (int i = 0; i < t.count; ++i) {
        const DiskRecord& r = t.records[static_cast<size_t>(i)];
        if (r.record_kind == kRecordDisk && r.disk_number == volume.disk_number) return r;
    }
    DiskRecord d = volume;
    d.record_kind = kRecordDisk;
    d.device_path = volume.physical_path;
    return d;
}

}  // namespace

std::string JobVolume::drive() const { return address.volume_letter ? std::string(1, address.volume_letter) + ":" : ""; }

StorageAddress volume_address(const DiskRecord& volume) {
    StorageAddress a;
    a.disk_number = volume.disk_number;
    const std::string& p = volume.device_path;
    if (p.size() == 6 && p.compare(0, 4, "\\\\.\\") == 0 && p[5] == ':') a.volume_letter = ascii_upper(p[4]);
    a.path = volume.device_path;
    a.native_path = volume.native_path;
    return a;
}

std::unique_ptr<JobVolume> open_job_volume(int slot) {
    auto v = std::make_unique<JobVolume>();
    if (!job_partition(current_target(), v->record)) {
        log_error_line(slot, "Only Support Partition Mode");
        raise_error(slot, kErrNoPartition, "Only Support Partition Mode");
        return nullptr;
    }
    v->disk = disk_of(v->record);
    v->address = volume_address(v->record);
    std::string why;
    v->target = open_disk_target(v->record, &why);
    if (!v->target) {
        raise_error(slot, kErrOpenDisk, why.empty() ? v->record.device_path : why);
        return nullptr;
    }
    const uint32_t sector = v->target->sector_size() ? v->target->sector_size() : 512;
    if (auto start = volumes().volume_start(v->address)) v->start_lba = *start / sector;
    v->reader = std::make_unique<TargetSectorReader>(*v->target);
    v->volume = std::make_unique<Volume>(*v->reader);
    return v;
}

bool open_file_system(int slot, JobVolume& v) {
    std::string why;
    if (v.volume->open(why)) return true;
    walk_failed(slot, why);
    return false;
}

void walk_failed(int slot, const std::string& reason) {
    log_error_line(slot, reason);
    raise_error(slot, kErrInvalidData, reason);
}

}  // namespace tb::ntfs
