#include "exttools/tool_disk_values.h"

#include <cctype>
#include <string>

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_record.h"
#include "platform/paths.h"
#include "platform/volumes.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"

namespace tb {

namespace {

// A disk of this machine reached through a device node (Linux), rather than
// a Windows device path or a simulated disk.
bool has_device_node(const DiskRecord& d) { return !d.native_path.empty() && d.native_path.front() == '/'; }

std::string letters_of(const DiskRecord& d) {
    std::string letters;
    for (size_t i = 0; i + 1 < d.drive_letters.size(); ++i)
        if (std::isalpha(static_cast<unsigned char>(d.drive_letters[i])) && d.drive_letters[i + 1] == ':')
            letters += ascii_upper(d.drive_letters[i]);
    return letters;
}

std::string other_volume_letters(const DiskRecord& target) {
    const std::string own = letters_of(target);
    std::string others;
    const DiskTable& table = disk_table();
    for (int i = 0; i < table.count; ++i)
        for (char letter : letters_of(table.records[static_cast<size_t>(i)]))
            if (own.find(letter) == std::string::npos && others.find(letter) == std::string::npos)
                others += letter;
    return others;
}

bool unlisted_bridge(const DiskRecord& d) {
    return d.access_protocol == kProtoRtl9210B || d.access_protocol == kProtoRtl9210;
}

int listed_disks_before(const DiskRecord& target) {
    if (unlisted_bridge(target)) return 0;
    int count = 0;
    const DiskTable& table = disk_table();
    for (int i = 0; i < table.count; ++i) {
        const DiskRecord& d = table.records[static_cast<size_t>(i)];
        if (d.record_kind == kRecordDisk && !unlisted_bridge(d) && d.disk_number < target.disk_number) ++count;
    }
    return count;
}

}  // namespace

bool target_is_raw() { return current_target().raw_flag == 1; }

bool target_has_volume() { return !letters_of(current_target()).empty(); }

std::string disk_placeholder(const DiskRecord& d) {
    const std::string letters = letters_of(d);
    if (d.raw_flag == 1 || letters.empty()) {
        if (has_device_node(d) && d.record_kind == kRecordDisk) return d.native_path;
        return fmt("\\\\.\\PHYSICALDRIVE%d", d.disk_number);
    }
    if (has_device_node(d)) {
        StorageAddress volume;
        volume.disk_number = d.disk_number;
        volume.volume_letter = letters.front();
        volume.path = fmt("\\\\.\\%c:", letters.front());
        const std::string root = volumes().root_folder(volume);
        if (!root.empty()) return root;
    }
    return trim(d.drive_letters);
}

PlaceholderValues placeholder_values(int slot) {
    const DiskRecord& d = current_target();
    PlaceholderValues v;
    v.disk = disk_placeholder(d);
    const std::string letters = letters_of(d);
    if (d.raw_flag == 1 || letters.empty()) {
        v.disk_id = fmt("%d", d.disk_number);
    } else {
        v.disk_id = fmt("%d", letters.front() - 'A');
        v.x_volume = other_volume_letters(d);
    }
    v.cdi_id = fmt("%d", listed_disks_before(d));
    if (const JobSlot* js = job_slot(slot)) v.scpdir = path_folder(js->script_path);
    v.output = output_stem(slot);
    return v;
}

}  // namespace tb
