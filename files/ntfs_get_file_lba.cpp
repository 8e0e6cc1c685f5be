#include "files/ntfs_get_file_lba.h"

#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "common/file_handle.h"
#include "common/format.h"
#include "files/ntfs_job_volume.h"
#include "files/ntfs_lookup.h"
#include "files/ntfs_record_lines.h"
#include "platform/paths.h"
#include "platform/volumes.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "workload/aligned_buffer.h"
#include "workload/lba_target.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"File", "", ArgType::Text, ""},
    {"ByteOffset", "", ArgType::Number, "0", 0, std::numeric_limits<int64_t>::max()},
    {"NtfsTrace", "", ArgType::Bool, "FALSE"},
};

constexpr const char* kNoBlock = "No Any Block Found, Maybe File Size Small or Locked by System";

bool absolute_name(const std::string& name) {
    return name.find(':') != std::string::npos || name.front() == '\\' || name.front() == '/';
}

// The file the script names: chosen in a box when empty, a relative name
// taken from the volume's root folder. False when the box was cancelled.
bool file_path(int slot, const ntfs::JobVolume& v, std::string& name) {
    if (name.empty()) {
        if (resolve_file_argument(slot, name, false, "", "Any File") == FileResolve::Chosen) return true;
        set_cancel(slot);
        return false;
    }
    if (!absolute_name(name)) name = path_join(volumes().root_folder(v.address), name);
    return true;
}

bool file_extents(int slot, const std::string& path, FileExtents& out) {
    std::string why;
    switch (volumes().file_extents(path, out, &why)) {
        case ExtentsStatus::Ok: return true;
        case ExtentsStatus::NoFile: raise_error(slot, kErrFileOpen, system_spelling(path)); return false;
        case ExtentsStatus::Failed: raise_error(slot, kErrOpenDisk, fmt("%s: %s", system_spelling(path), why)); return false;
        case ExtentsStatus::Unsupported: raise_error(slot, kErrNotSupported, why); return false;
    }
    return false;
}

void print_table(int slot, const FileExtents& e, uint32_t sector) {
    log_text(slot, "Index       : ByteOffset         | LBA                | Lenth(Byte)");
    for (size_t i = 0; i < e.extents.size(); ++i) {
        const FileExtent& x = e.extents[i];
        log_text(slot, fmt("%-11s : %-18s | %-18s | %s", fmt("Area%02d", static_cast<int>(i)), fmt("0x%08I64X", x.file_offset),
                           fmt("0x%08I64X", x.disk_offset / sector), fmt("%I64d", x.length)));
    }
}

std::optional<uint64_t> disk_byte_of(const FileExtents& e, uint64_t offset) {
    for (const FileExtent& x : e.extents)
        if (offset >= x.file_offset && offset - x.file_offset < x.length) return x.disk_offset + (offset - x.file_offset);
    return std::nullopt;
}

// Reads the sector from the volume's disk, saves it as the ".Hex" file and shows it.
bool show_sector(int slot, const ntfs::JobVolume& v, uint64_t lba, uint32_t sector, IoTarget& disk) {
    AlignedBuffer buf(sector);
    IoRequest r{IoOp::Read, lba * sector, buf.data(), sector};
    if (!buf || io_sync(disk, r) != static_cast<int32_t>(sector)) {
        raise_error(slot, kErrReadIO, fmt("CurrentLBA: 0x%08I64X", lba));
        return false;
    }
    const std::string path = output_stem(slot) + ".Hex";
    if (!write_file_bytes(path, std::string_view(reinterpret_cast<const char*>(buf.data()), sector))) {
        raise_error(slot, kErrOutputFile, path);
        return false;
    }
    (void)v;
    attach_data_file(slot, colour::kOlive, path, true);
    return true;
}

// The walk from the root directory to the file and its record's lines.
bool trace(int slot, ntfs::JobVolume& v, const std::string& path) {
    if (!ntfs::open_file_system(slot, v)) return false;
    log_text(slot, "## Target MftInfo: \\\\.");
    const std::string inside = ntfs::path_inside_volume(path, volumes().root_folder(v.address));
    std::string reason;
    uint64_t record = 0;
    auto step = [slot](const std::string& part, uint64_t found) {
        log_text(slot, fmt("Search Next: %s", part));
        log_text(slot, fmt("        Ref MftId:0x%08I64X", found));
    };
    switch (ntfs::find_record(*v.volume, ntfs::path_parts(inside), record, reason, step)) {
        case ntfs::LookupResult::Found: break;
        case ntfs::LookupResult::NotFound:
            log_error_line(slot, fmt("Search Next: %s not found in the volume's index", inside));
            raise_error(slot, kErrFileOpen, inside);
            return false;
        case ntfs::LookupResult::Failed: ntfs::walk_failed(slot, reason); return false;
    }
    ntfs::FileRecord r;
    if (!ntfs::print_record(slot, v, record, r, reason) || !ntfs::print_details(slot, v, r, reason)) {
        ntfs::walk_failed(slot, reason);
        return false;
    }
    return true;
}

}  // namespace

void cmd_GetFileLBA(int slot, const std::string& args, const std::string& name) {
    write_line(slot, fmt("%s(%s);", name, args), LineFormat::CommandHeader, 10, colour::kWhite);
    auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const uint64_t offset = static_cast<uint64_t>(a->number("ByteOffset"));
    auto v = ntfs::open_job_volume(slot);
    if (!v) return;
    std::string path = a->text("File");
    if (!file_path(slot, *v, path)) return;
    FileExtents extents;
    if (!file_extents(slot, path, extents)) return;
    if (extents.file_size && offset >= extents.file_size) {
        log_error_line(slot, "File ByteOffset Over FileSize");
        raise_error(slot, kErrParam, fmt("ByteOffset:0x%I64X, FileSize:0x%I64X", offset, extents.file_size));
        return;
    }
    std::string why;
    std::unique_ptr<IoTarget> disk = open_disk_target(v->disk, &why);
    if (!disk) {
        raise_error(slot, kErrOpenDisk, why.empty() ? v->disk.physical_path : why);
        return;
    }
    const uint32_t sector = disk->sector_size() ? disk->sector_size() : 512;
    const std::optional<uint64_t> byte = disk_byte_of(extents, offset);
    if (extents.extents.empty() || !byte) {
        log_text(slot, kNoBlock, colour::kYellow);
        set_result_number(slot, name, 0, ValueType::Hex);
    } else {
        print_table(slot, extents, sector);
        const uint64_t lba = *byte / sector;
        log_text(slot, fmt("FileOffset mapping to LBA : 0x%08I64X   (Byte Index: 0x%I64X )", lba, *byte % sector),
                 colour::kYellow);
        log_text(slot, fmt("Mapping Drv : %s, LBARead( LBA:0x%I64X, SectorCount:1 )", v->disk.physical_path, lba));
        if (!show_sector(slot, *v, lba, sector, *disk)) return;
        set_result_number(slot, name, static_cast<int64_t>(lba), ValueType::Hex);
    }
    if (a->flag("NtfsTrace")) trace(slot, *v, path);
}

}  // namespace tb
