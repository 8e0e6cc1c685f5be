#include "files/ntfs_directory.h"

#include "common/format.h"

namespace tb::ntfs {

namespace {

const char kIndexName[] = "$I30";
constexpr uint64_t kLargestIndex = 256ull << 20;
constexpr uint32_t kAttrBitmap = 0xB0;

bool block_in_use(const Attribute* bitmap, uint64_t block) {
    if (!bitmap || !bitmap->resident) return true;
    const uint64_t byte = block / 8;
    return byte < bitmap->value.size() && (bitmap->value[static_cast<size_t>(byte)] >> (block % 8)) & 1;
}

}  // namespace

bool directory_entries(Volume& volume, const FileRecord& dir, std::vector<IndexEntry>& out, std::string& error,
                       const std::function<void(const IndexBlock&)>& each_block) {
    out.clear();
    const Attribute* root = dir.find(kAttrIndexRoot, kIndexName);
    if (!root || !root->resident) {
        error = fmt("MftId:0x%08I64X is no directory", dir.number);
        return false;
    }
    if (!read_index_root(root->value, out, error)) return false;
    const Attribute* allocation = dir.find(kAttrIndexAllocation, kIndexName);
    if (!allocation || allocation->resident) return true;
    const Geometry& g = volume.geometry();
    const Attribute* bitmap = dir.find(kAttrBitmap, kIndexName);
    const uint64_t size = std::min(allocation->data_size, kLargestIndex);
    std::vector<uint8_t> block(g.index_record_size);
    for (uint64_t at = 0, n = 0; at + g.index_record_size <= size; at += g.index_record_size, ++n) {
        if (!block_in_use(bitmap, n)) continue;
        const uint64_t vcn = at / g.cluster_size + allocation->first_vcn;
        const int64_t lcn = cluster_of(allocation->runs, vcn);
        if (lcn < 0) continue;
        const uint64_t byte = static_cast<uint64_t>(lcn) * g.cluster_size + at % g.cluster_size;
        if (!volume.read_bytes(byte, block)) {
            error = fmt("Read Fail at VLBA:0x%08I64X", byte / g.sector_size);
            return false;
        }
        IndexBlock b;
        b.vcn = vcn;
        b.sector = byte / g.sector_size;
        if (!read_index_record(block, g.sector_size, b.entries, error)) return false;
        out.insert(out.end(), b.entries.begin(), b.entries.end());
        if (each_block) each_block(b);
    }
    return true;
}

}  // namespace tb::ntfs
