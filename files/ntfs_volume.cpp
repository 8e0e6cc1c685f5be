#include "files/ntfs_volume.h"

#include "common/format.h"

namespace tb::ntfs {

bool Volume::open(std::string& error) {
    std::vector<uint8_t> boot(512);
    if (!reader_.read(0, boot)) {
        error = "Cannot read the boot sector";
        return false;
    }
    if (!read_boot_sector(boot, geometry_, error)) return false;
    const uint64_t size = reader_.size_bytes();
    if (size && geometry_.total_sectors > size / geometry_.sector_size) {
        error = fmt("NTFS Boot Sector Error: 0x%I64X sectors, more than the volume's 0x%I64X", geometry_.total_sectors,
                    size / geometry_.sector_size);
        return false;
    }
    // Record 0 lies at the start of the $MFT, whose position the boot sector gives.
    mft_runs_ = {Run{0, static_cast<int64_t>(geometry_.mft_cluster),
                     (geometry_.record_size + geometry_.cluster_size - 1) / geometry_.cluster_size}};
    record_count_ = 1;
    FileRecord mft;
    if (!read_record(0, mft, error)) return false;
    const Attribute* data = mft.find(kAttrData);
    if (!data || data->resident || data->runs.empty() || data->first_vcn != 0) {
        error = "MFT Record Error: the $MFT has no data runs";
        return false;
    }
    mft_runs_ = data->runs;
    record_count_ = data->data_size / geometry_.record_size;
    return true;
}

std::optional<uint64_t> Volume::record_sector(uint64_t record) const {
    if (record >= record_count_) return std::nullopt;
    const uint64_t byte = record * geometry_.record_size;
    const int64_t lcn = cluster_of(mft_runs_, byte / geometry_.cluster_size);
    if (lcn < 0) return std::nullopt;
    return static_cast<uint64_t>(lcn) * geometry_.sectors_per_cluster() +
           byte % geometry_.cluster_size / geometry_.sector_size;
}

std::optional<uint64_t> Volume::record_at_cluster(uint64_t cluster, uint32_t sector_in_cluster) const {
    for (const Run& r : mft_runs_) {
        if (!r.covers_cluster(cluster)) continue;
        const uint64_t vcn = r.vcn + (cluster - static_cast<uint64_t>(r.lcn));
        const uint64_t byte = vcn * geometry_.cluster_size + static_cast<uint64_t>(sector_in_cluster) * geometry_.sector_size;
        return byte / geometry_.record_size;
    }
    return std::nullopt;
}

bool Volume::read_record_bytes(uint64_t record, std::vector<uint8_t>& out, std::string& error) {
    out.assign(geometry_.record_size, 0);
    // A record larger than a cluster may span runs: read it cluster piece by piece.
    const uint64_t start = record * geometry_.record_size;
    for (uint32_t done = 0; done < geometry_.record_size;) {
        const uint64_t byte = start + done;
        const uint32_t in_cluster = static_cast<uint32_t>(byte % geometry_.cluster_size);
        const uint32_t piece = std::min(geometry_.record_size - done, geometry_.cluster_size - in_cluster);
        const int64_t lcn = record < record_count_ ? cluster_of(mft_runs_, byte / geometry_.cluster_size) : -1;
        if (lcn < 0) {
            error = fmt("MftId:0x%08I64X lies outside the $MFT", record);
            return false;
        }
        const uint64_t at = static_cast<uint64_t>(lcn) * geometry_.cluster_size + in_cluster;
        if (!reader_.read(at, std::span<uint8_t>(out).subspan(done, piece))) {
            error = fmt("Read Fail at VLBA:0x%08I64X", at / geometry_.sector_size);
            return false;
        }
        done += piece;
    }
    return true;
}

bool Volume::read_record(uint64_t record, FileRecord& out, std::string& error) {
    std::vector<uint8_t> raw;
    if (!read_record_bytes(record, raw, error)) return false;
    out.number = record;
    return decode_file_record(raw, geometry_.sector_size, geometry_.total_clusters(), out, error);
}

bool Volume::read_stream(const Attribute& attribute, uint64_t limit, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    if (attribute.resident) {
        out = attribute.value;
        if (out.size() > limit) out.resize(static_cast<size_t>(limit));
        return true;
    }
    const uint64_t wanted = std::min(attribute.data_size, limit);
    out.assign(static_cast<size_t>(wanted), 0);
    for (const Run& r : attribute.runs) {
        const uint64_t from = (r.vcn - attribute.first_vcn) * geometry_.cluster_size;
        if (from >= wanted) break;
        const uint64_t bytes = std::min(r.clusters * geometry_.cluster_size, wanted - from);
        if (r.sparse()) continue;
        if (!reader_.read(static_cast<uint64_t>(r.lcn) * geometry_.cluster_size,
                          std::span<uint8_t>(out).subspan(static_cast<size_t>(from), static_cast<size_t>(bytes)))) {
            error = fmt("Read Fail at VLCN:0x%08I64X", r.lcn);
            return false;
        }
    }
    return true;
}

}  // namespace tb::ntfs
