#include "files/ntfs_get_file_by_lba.h"

#include <limits>
#include <vector>

#include "common/format.h"
#include "files/ntfs_attribute_names.h"
#include "files/ntfs_job_volume.h"
#include "files/ntfs_owner.h"
#include "files/ntfs_path.h"
#include "files/ntfs_record_lines.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"LBA", "", ArgType::Number, "0", 0, std::numeric_limits<int64_t>::max()},
};

std::string area_text(const ntfs::Owner& o) {
    if (o.area == ntfs::OwnerArea::MftNode) return "MFT Node Area";
    std::string what = ntfs::attribute_type_name(o.attribute);
    if (!o.stream.empty()) what += ":" + o.stream;
    return what + " Area";
}

// The path of the owner, each step printed; an MFT record that names no
// file (free, or an extension) stands for the $MFT itself.
bool owner_path(int slot, ntfs::JobVolume& v, const ntfs::Owner& o, std::string& path, std::string& reason) {
    std::vector<ntfs::PathStep> steps;
    uint64_t record = o.record;
    if (o.area == ntfs::OwnerArea::MftNode) {
        ntfs::FileRecord r;
        std::string ignored;
        if (!v.volume->read_record(record, r, ignored) || !r.in_use() || ntfs::record_name(r).empty()) record = 0;
    }
    if (!ntfs::build_path(*v.volume, record, v.drive(), steps, path, reason)) return false;
    for (const ntfs::PathStep& s : steps)
        log_text(slot, fmt("MftId:0x%08I64X     ParentMftId:0x%08I64X", s.record, s.parent));
    return true;
}

}  // namespace

void cmd_GetFileByLBA(int slot, const std::string& args, const std::string& name) {
    write_line(slot, fmt("%s(%s);", name, args), LineFormat::CommandHeader, 10, colour::kWhite);
    auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const uint64_t lba = static_cast<uint64_t>(a->number("LBA"));
    auto v = ntfs::open_job_volume(slot);
    if (!v || !ntfs::open_file_system(slot, *v)) return;
    ntfs::print_volume_start(slot, *v);
    ntfs::print_mft_map(slot, *v);
    const ntfs::Geometry& g = v->volume->geometry();
    if (lba < v->start_lba || lba - v->start_lba >= g.total_sectors) {
        log_error_line(slot, "LBA Out of Partition Range");
        raise_error(slot, kErrParam, fmt("LBA:0x%I64X, LBA Out of Partition Range", lba));
        return;
    }
    const uint64_t vlba = lba - v->start_lba;
    log_text(slot, fmt("Search Target VLBA:0x%08I64X  (LBA:0x%08I64X)", vlba, lba));
    ntfs::Owner owner;
    std::string reason;
    if (!ntfs::find_owner(*v->volume, vlba, owner, reason, [slot] { return cancel_requested(slot); })) {
        ntfs::walk_failed(slot, reason);
        return;
    }
    if (cancel_requested(slot)) {
        log_text(slot, "---- Cancel Command ----", colour::kCyan);
        return;
    }
    if (owner.area == ntfs::OwnerArea::None) {
        log_text(slot, "No File be found.", colour::kYellow);
        set_result_string(slot, name, "");
        return;
    }
    if (owner.area == ntfs::OwnerArea::MftNode)
        log_text(slot, fmt("Found MftItem (MftId:0x%08I64X)", owner.record));
    else
        log_text(slot, fmt("Found MftItem in Attribute RunList (MftId:0x%08I64X)", owner.record));
    std::string path;
    if (!owner_path(slot, *v, owner, path, reason)) {
        ntfs::walk_failed(slot, reason);
        return;
    }
    log_text(slot, fmt("Found LBA:0x%08I64X in Path: %s", lba, path), colour::kYellow);
    log_text(slot, fmt("File Area: %s", area_text(owner)), colour::kYellow);
    set_result_string(slot, name, path);
}

}  // namespace tb
