#include "files/file_extents_retrieval.h"

#include "files/ntfs_bytes.h"

namespace tb::winfs {

namespace {

void put_le64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

constexpr size_t kRunsAt = 16;   // after the count (4, padded to 8) and the starting cluster (8)
constexpr size_t kRunBytes = 16;

}  // namespace

std::vector<uint8_t> retrieval_pointers_request(uint64_t starting_vcn) {
    std::vector<uint8_t> out;
    put_le64(out, starting_vcn);
    return out;
}

bool read_retrieval_pointers(std::span<const uint8_t> reply, std::vector<RetrievalRun>& out) {
    out.clear();
    if (reply.size() < kRunsAt) return false;
    const uint32_t count = ntfs::le32(reply, 0);
    if (!ntfs::fits(reply.size(), kRunsAt, static_cast<uint64_t>(count) * kRunBytes)) return false;
    uint64_t vcn = ntfs::le64(reply, 8);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = kRunsAt + i * kRunBytes;
        RetrievalRun r;
        r.vcn = vcn;
        r.next_vcn = ntfs::le64(reply, at);
        r.lcn = static_cast<int64_t>(ntfs::le64(reply, at + 8));
        if (r.next_vcn < r.vcn) return false;
        out.push_back(r);
        vcn = r.next_vcn;
    }
    return true;
}

void append_retrieval_runs(const std::vector<RetrievalRun>& runs, uint32_t cluster_size, uint64_t volume_start,
                           FileExtents& out) {
    for (const RetrievalRun& r : runs) {
        if (r.lcn < 0 || r.next_vcn == r.vcn) continue;
        FileExtent e;
        e.file_offset = r.vcn * cluster_size;
        e.disk_offset = volume_start + static_cast<uint64_t>(r.lcn) * cluster_size;
        e.length = (r.next_vcn - r.vcn) * cluster_size;
        out.extents.push_back(e);
    }
}

std::vector<uint8_t> logical_to_physical_request(uint64_t offset) {
    std::vector<uint8_t> out;
    put_le64(out, offset);
    return out;
}

std::optional<uint64_t> read_physical_offset(std::span<const uint8_t> reply) {
    // The count (4, padded to 8), then (disk number 4, padding 4, offset 8) entries.
    if (reply.size() < 24 || ntfs::le32(reply, 0) == 0) return std::nullopt;
    return ntfs::le64(reply, 16);
}

}  // namespace tb::winfs
