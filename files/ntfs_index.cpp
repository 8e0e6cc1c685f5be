#include "files/ntfs_index.h"

#include <cstring>

#include "common/format.h"
#include "files/ntfs_bytes.h"
#include "files/ntfs_fixup.h"

namespace tb::ntfs {

namespace {

constexpr uint32_t kEntryHeader = 16;
constexpr uint32_t kLastEntry = 2;

// The entries of the node header at `node` inside `bytes`.
bool read_node(std::span<const uint8_t> bytes, size_t node, std::vector<IndexEntry>& out, std::string& error) {
    if (!fits(bytes.size(), node, 16)) {
        error = "Index Error: node header runs past the index";
        return false;
    }
    const uint64_t first = node + static_cast<uint64_t>(le32(bytes, node));
    const uint64_t end = node + static_cast<uint64_t>(le32(bytes, node + 4));
    if (first > end || end > bytes.size()) {
        error = "Index Error: entries run past the index";
        return false;
    }
    for (uint64_t at = first;;) {
        if (!fits(end, at, kEntryHeader)) {
            error = fmt("Index Error: no last entry before byte 0x%X", static_cast<unsigned>(end));
            return false;
        }
        const uint16_t length = le16(bytes, at + 8);
        const uint16_t key_length = le16(bytes, at + 10);
        const uint16_t flags = le16(bytes, at + 12);
        if (length < kEntryHeader || length % 8 || !fits(end, at, length)) {
            error = fmt("Index Error: entry at 0x%X runs past the index", static_cast<unsigned>(at));
            return false;
        }
        if (flags & kLastEntry) return true;
        if (key_length > length - kEntryHeader) {
            error = fmt("Index Error: key at 0x%X runs past its entry", static_cast<unsigned>(at));
            return false;
        }
        if (auto name = decode_file_name(bytes.subspan(at + kEntryHeader, key_length))) {
            IndexEntry e;
            e.record = record_of_reference(le64(bytes, at));
            e.key = std::move(*name);
            out.push_back(std::move(e));
        }
        at += length;
    }
}

}  // namespace

bool read_index_root(std::span<const uint8_t> value, std::vector<IndexEntry>& out, std::string& error) {
    return read_node(value, 16, out, error);
}

bool has_index_signature(std::span<const uint8_t> raw) { return raw.size() >= 4 && std::memcmp(raw.data(), "INDX", 4) == 0; }

bool read_index_record(std::span<uint8_t> raw, uint32_t sector_size, std::vector<IndexEntry>& out,
                       std::string& error) {
    if (!has_index_signature(raw)) {
        error = "INDX Signature Error";
        return false;
    }
    if (!apply_update_sequence(raw, sector_size, error)) return false;
    return read_node(raw, 24, out, error);
}

}  // namespace tb::ntfs
