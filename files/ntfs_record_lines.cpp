#include "files/ntfs_record_lines.h"

#include <map>
#include <string_view>
#include <vector>

#include "common/file_handle.h"
#include "common/format.h"
#include "files/ntfs_attribute_names.h"
#include "files/ntfs_directory.h"
#include "files/ntfs_file_name.h"
#include "script/job_log_writer.h"

namespace tb::ntfs {

namespace {

// A signature as text, with bytes that are no printable ASCII shown as '.'.
std::string signature_text(std::span<const uint8_t> raw) {
    std::string s;
    for (size_t i = 0; i < 4 && i < raw.size(); ++i) s += raw[i] >= 0x20 && raw[i] < 0x7F ? static_cast<char>(raw[i]) : '.';
    return s;
}

void print_attribute(int slot, const Attribute& a) {
    log_text(slot, fmt("Attrib:[0x%02X] (Offset:0x%02X) %s", a.type, a.offset, attribute_type_name(a.type)));
    if (a.type != kAttrFileName || !a.resident) return;
    if (auto f = decode_file_name(a.value))
        log_text(slot, fmt("       FileName:%-20s, Parent:0x%08I64X", f->name, f->parent));
}

// The last attribute of each type, named $DATA streams left out.
std::map<uint32_t, const Attribute*> kept_attributes(const FileRecord& r) {
    std::map<uint32_t, const Attribute*> kept;
    for (const Attribute& a : r.attributes)
        if (!(a.type == kAttrData && !a.name.empty())) kept[a.type] = &a;
    return kept;
}

void print_data_runs(int slot, const JobVolume& v, const Attribute& a) {
    const Geometry& g = v.volume->geometry();
    for (const Run& run : a.runs) {
        const uint64_t file_offset = run.vcn * g.cluster_size;
        const int64_t length = static_cast<int64_t>(run.clusters * g.cluster_size);
        if (run.sparse()) {
            log_text(slot, fmt("       RunList FileOffset:0x%08X   Sparse                Length:%-10I64d", file_offset, length));
            continue;
        }
        const uint64_t vlba = static_cast<uint64_t>(run.lcn) * g.sectors_per_cluster();
        log_text(slot, fmt("       RunList FileOffset:0x%08X   LBA:0x%08I64X   Length:%-10I64d   (VLBA:0x%08I64X  VLCN:0x%08I64X)",
                           file_offset, vlba + v.start_lba, length, vlba, run.lcn));
    }
}

bool print_index_allocation(int slot, JobVolume& v, const FileRecord& r, const Attribute& a, std::string& reason) {
    const Geometry& g = v.volume->geometry();
    std::vector<IndexBlock> blocks;
    std::vector<IndexEntry> entries;
    if (!directory_entries(*v.volume, r, entries, reason, [&](const IndexBlock& b) { blocks.push_back(b); }))
        return false;
    for (const Run& run : a.runs) {
        if (run.sparse()) continue;
        const uint64_t vlba = static_cast<uint64_t>(run.lcn) * g.sectors_per_cluster();
        const uint64_t sectors = run.clusters * g.sectors_per_cluster();
        log_text(slot, fmt("       RunList VLCN:0x%08I64X, Clusters:%-5d  [VLBA:0x%08I64X, Sectors:%-5d] (LBA:0x%08I64X)",
                           run.lcn, run.clusters, vlba, sectors, vlba + v.start_lba));
        for (const IndexBlock& b : blocks) {
            if (b.vcn < run.vcn || b.vcn - run.vcn >= run.clusters) continue;
            log_text(slot, "       INDX Signature:INDX");
            for (const IndexEntry& e : b.entries)
                log_text(slot, fmt("            MftId:0x%08I64X, FileName:%-20s", e.record, e.key.name));
        }
    }
    return true;
}

void print_resident_data(int slot, const JobVolume& v, const FileRecord& r, const Attribute& a) {
    log_text(slot, "File Data in MFT Attrib:[0x80]");
    const Geometry& g = v.volume->geometry();
    const uint64_t record_vlba = v.volume->record_sector(r.number).value_or(0);
    const uint64_t vlba = record_vlba + a.value_offset / g.sector_size;
    log_text(slot, fmt("Data Offset in MFT Record:0x%X, Length:%d  [VLBA:0x%08I64X] (LBA:0x%08I64X)", a.value_offset,
                       static_cast<int>(a.value.size()), vlba, vlba + v.start_lba));
    const std::string path = output_stem(slot) + ".Hex";
    if (write_file_bytes(path, std::string_view(reinterpret_cast<const char*>(a.value.data()), a.value.size())))
        attach_data_file(slot, colour::kOlive, path, true);
    else
        log_error_line(slot, "Output File Fail: " + path);
}

}  // namespace

void print_volume_start(int slot, const JobVolume& v) {
    log_text(slot, fmt("## Volume %s Start: VLBA:0x00000000  (LBA:0x%08I64X)", v.record.device_path, v.start_lba));
}

void print_mft_map(int slot, const JobVolume& v) {
    log_text(slot, "## MFTId & VLBA Mapping Table");
    const Geometry& g = v.volume->geometry();
    const uint64_t per_cluster_bytes = g.cluster_size;
    for (const Run& run : v.volume->mft_runs()) {
        if (run.sparse()) continue;
        const uint64_t first = run.vcn * per_cluster_bytes / g.record_size;
        const uint64_t last = ((run.vcn + run.clusters) * per_cluster_bytes + g.record_size - 1) / g.record_size - 1;
        const uint64_t vlba = static_cast<uint64_t>(run.lcn) * g.sectors_per_cluster();
        log_text(slot, fmt("       MFTId:0x%08I64X - 0x%08I64X    [VLBA:0x%08I64X Sectors:%-5d]", first, last, vlba,
                           run.clusters * g.sectors_per_cluster()));
    }
}

bool print_record(int slot, JobVolume& v, uint64_t number, FileRecord& out, std::string& reason) {
    const Geometry& g = v.volume->geometry();
    log_text(slot, fmt("## MFTid:0x%08I64X", number));
    auto vlba = v.volume->record_sector(number);
    if (!vlba) {
        reason = fmt("MftId:0x%08I64X lies outside the $MFT (0x%I64X records)", number, v.volume->record_count());
        return false;
    }
    log_text(slot, fmt("[VLBA:0x%08I64X,  Sectors: %-5d] (LBA:0x%08I64X)", *vlba, g.sectors_per_record(),
                       *vlba + v.start_lba));
    std::vector<uint8_t> raw;
    if (!v.volume->read_record_bytes(number, raw, reason)) return false;
    log_text(slot, fmt("MFT Signature:%S", signature_text(raw)));
    out = FileRecord{};
    out.number = number;
    if (!decode_file_record(raw, g.sector_size, g.total_clusters(), out, reason)) {
        // The attributes read before the failure are still shown.
        for (const Attribute& a : out.attributes) print_attribute(slot, a);
        return false;
    }
    for (const Attribute& a : out.attributes) print_attribute(slot, a);
    return true;
}

bool print_details(int slot, JobVolume& v, const FileRecord& record, std::string& reason) {
    for (const auto& [type, a] : kept_attributes(record)) {
        log_text(slot, fmt("       Detail of Attrib:[0x%02X] %s", type, attribute_type_name(type)));
        if (type == kAttrIndexAllocation && !a->resident) {
            if (!print_index_allocation(slot, v, record, *a, reason)) return false;
        } else if (type == kAttrData && !a->resident) {
            print_data_runs(slot, v, *a);
        } else if (type == kAttrData) {
            print_resident_data(slot, v, record, *a);
        }
    }
    return true;
}

}  // namespace tb::ntfs
