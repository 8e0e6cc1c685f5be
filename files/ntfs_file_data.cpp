#include "files/ntfs_file_data.h"

#include <algorithm>
#include <set>

#include "common/format.h"
#include "files/ntfs_bytes.h"

namespace tb::ntfs {

namespace {

constexpr uint64_t kLargestList = 16u << 20;

// The records other than `base` that the attribute list names for the
// unnamed $DATA.
bool extension_records(Volume& volume, const FileRecord& base, std::set<uint64_t>& out, std::string& error) {
    const Attribute* list = base.find(kAttrAttributeList);
    if (!list) return true;
    std::vector<uint8_t> bytes;
    if (!volume.read_stream(*list, kLargestList, bytes, error)) return false;
    std::span<const uint8_t> b(bytes);
    for (size_t at = 0; fits(b.size(), at, 26);) {
        const uint16_t length = le16(b, at + 4);
        if (length < 26 || !fits(b.size(), at, length)) break;
        const uint64_t record = record_of_reference(le64(b, at + 16));
        if (le32(b, at) == kAttrData && b[at + 6] == 0 && record != base.number) out.insert(record);
        at += length;
    }
    return true;
}

}  // namespace

bool file_data(Volume& volume, const FileRecord& base, FileData& out, std::string& error) {
    out = FileData{};
    std::vector<const Attribute*> parts;
    if (const Attribute* a = base.find(kAttrData)) parts.push_back(a);
    std::set<uint64_t> others;
    if (!extension_records(volume, base, others, error)) return false;
    std::vector<FileRecord> extensions(others.size());
    size_t i = 0;
    for (uint64_t n : others) {
        if (!volume.read_record(n, extensions[i], error)) {
            error = fmt("MftId:0x%08I64X %s", n, error);
            return false;
        }
        if (const Attribute* a = extensions[i].find(kAttrData)) parts.push_back(a);
        ++i;
    }
    if (parts.empty()) {
        error = fmt("MftId:0x%08I64X has no $DATA", base.number);
        return false;
    }
    std::sort(parts.begin(), parts.end(), [](const Attribute* a, const Attribute* b) { return a->first_vcn < b->first_vcn; });
    const Attribute& first = *parts.front();
    out.resident = first.resident;
    out.size = first.data_size;
    if (first.resident) {
        out.value_offset = first.value_offset;
        return true;
    }
    for (const Attribute* a : parts)
        if (!a->resident) out.runs.insert(out.runs.end(), a->runs.begin(), a->runs.end());
    return true;
}

}  // namespace tb::ntfs
