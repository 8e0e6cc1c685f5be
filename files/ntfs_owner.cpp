#include "files/ntfs_owner.h"

#include <algorithm>
#include <vector>

#include "common/format.h"

namespace tb::ntfs {

namespace {

constexpr uint64_t kPieceBytes = 1u << 20;

// Whether decoded record `r` owns `cluster`; fills `out` when it does.
bool owns(const FileRecord& r, uint64_t cluster, Owner& out) {
    if (!r.in_use()) return false;
    for (const Attribute& a : r.attributes) {
        if (a.resident) continue;
        for (const Run& run : a.runs) {
            if (!run.covers_cluster(cluster)) continue;
            out.area = OwnerArea::RunList;
            out.record = r.base_record ? r.base_record : r.number;
            out.attribute = a.type;
            out.stream = a.name;
            return true;
        }
    }
    return false;
}

// Decodes record `number` from its bytes; records never used (no "FILE")
// own nothing. False with the reason when a record fails to decode.
bool check_record(std::span<uint8_t> raw, uint64_t number, const Geometry& g, uint64_t cluster, Owner& out,
                  bool& found, std::string& error) {
    if (!has_file_signature(raw)) return true;
    FileRecord r;
    r.number = number;
    if (!decode_file_record(raw, g.sector_size, g.total_clusters(), r, error)) {
        error = fmt("MftId:0x%08I64X %s", number, error);
        return false;
    }
    found = owns(r, cluster, out);
    return true;
}

bool scan_record_by_record(Volume& volume, uint64_t cluster, Owner& out, std::string& error,
                           const std::function<bool()>& stop) {
    const Geometry& g = volume.geometry();
    std::vector<uint8_t> raw;
    for (uint64_t n = 0; n < volume.record_count(); ++n) {
        if (n % 1024 == 0 && stop && stop()) return true;
        if (!volume.read_record_bytes(n, raw, error)) return false;
        bool found = false;
        if (!check_record(raw, n, g, cluster, out, found, error)) return false;
        if (found) return true;
    }
    return true;
}

}  // namespace

bool find_owner(Volume& volume, uint64_t sector, Owner& out, std::string& error, const std::function<bool()>& stop) {
    out = Owner{};
    const Geometry& g = volume.geometry();
    const uint64_t cluster = sector / g.sectors_per_cluster();
    if (auto record = volume.record_at_cluster(cluster, static_cast<uint32_t>(sector % g.sectors_per_cluster()))) {
        out.area = OwnerArea::MftNode;
        out.record = *record;
        return true;
    }
    if (g.record_size > g.cluster_size) return scan_record_by_record(volume, cluster, out, error, stop);
    // Whole pieces of each $MFT run, record after record.
    const uint64_t per_cluster = g.cluster_size / g.record_size;
    std::vector<uint8_t> piece;
    for (const Run& run : volume.mft_runs()) {
        if (run.sparse()) continue;
        for (uint64_t c = 0; c < run.clusters;) {
            if (stop && stop()) return true;
            const uint64_t first_record = (run.vcn + c) * per_cluster;
            if (first_record >= volume.record_count()) return true;
            const uint64_t clusters = std::min(run.clusters - c, kPieceBytes / g.cluster_size);
            piece.assign(static_cast<size_t>(clusters * g.cluster_size), 0);
            const uint64_t at = (static_cast<uint64_t>(run.lcn) + c) * g.cluster_size;
            if (!volume.read_bytes(at, piece)) {
                error = fmt("Read Fail at VLBA:0x%08I64X", at / g.sector_size);
                return false;
            }
            for (uint64_t i = 0; i < clusters * per_cluster; ++i) {
                const uint64_t number = first_record + i;
                if (number >= volume.record_count()) return true;
                bool found = false;
                std::span<uint8_t> raw(piece.data() + i * g.record_size, g.record_size);
                if (!check_record(raw, number, g, cluster, out, found, error)) return false;
                if (found) return true;
            }
            c += clusters;
        }
    }
    return true;
}

}  // namespace tb::ntfs
