#include "files/ntfs_file_record.h"

#include <cstring>

#include "common/format.h"
#include "files/ntfs_bytes.h"
#include "files/ntfs_fixup.h"
#include "files/ntfs_utf16.h"

namespace tb::ntfs {

namespace {

constexpr uint32_t kHeaderBytes = 42;        // the smallest record header
constexpr uint32_t kResidentHeader = 24;
constexpr uint32_t kNonResidentHeader = 64;

std::string attribute_error(const char* what, uint32_t offset) {
    return fmt("Attribute Error: %s (Offset:0x%02X)", what, offset);
}

bool decode_resident(std::span<const uint8_t> attr, Attribute& a, std::string& error) {
    if (attr.size() < kResidentHeader) {
        error = attribute_error("resident header runs past the attribute", a.offset);
        return false;
    }
    const uint32_t length = le32(attr, 16);
    const uint16_t at = le16(attr, 20);
    if (!fits(attr.size(), at, length)) {
        error = attribute_error("value runs past the attribute", a.offset);
        return false;
    }
    a.value.assign(attr.begin() + at, attr.begin() + at + length);
    a.value_offset = a.offset + at;
    a.data_size = length;
    return true;
}

bool decode_non_resident(std::span<const uint8_t> attr, uint64_t volume_clusters, Attribute& a, std::string& error) {
    if (attr.size() < kNonResidentHeader) {
        error = attribute_error("non-resident header runs past the attribute", a.offset);
        return false;
    }
    a.first_vcn = le64(attr, 16);
    const uint16_t runs_at = le16(attr, 32);
    a.allocated_size = le64(attr, 40);
    a.data_size = le64(attr, 48);
    if (runs_at < kNonResidentHeader || runs_at > attr.size()) {
        error = attribute_error("run list starts outside the attribute", a.offset);
        return false;
    }
    std::string why;
    if (!decode_run_list(attr.subspan(runs_at), a.first_vcn, volume_clusters, a.runs, why)) {
        error = fmt("%s (Attrib:[0x%02X] Offset:0x%02X)", why, a.type, a.offset);
        return false;
    }
    return true;
}

bool decode_attribute(std::span<const uint8_t> attr, uint64_t volume_clusters, Attribute& a, std::string& error) {
    a.resident = attr[8] == 0;
    const uint8_t name_chars = attr[9];
    const uint16_t name_at = le16(attr, 10);
    if (name_chars) {
        if (!fits(attr.size(), name_at, 2ull * name_chars)) {
            error = attribute_error("name runs past the attribute", a.offset);
            return false;
        }
        a.name = utf16le_to_utf8(attr.subspan(name_at, 2ull * name_chars));
    }
    return a.resident ? decode_resident(attr, a, error) : decode_non_resident(attr, volume_clusters, a, error);
}

}  // namespace

const Attribute* FileRecord::find(uint32_t type, const std::string& name) const {
    for (const Attribute& a : attributes)
        if (a.type == type && a.name == name) return &a;
    return nullptr;
}

bool has_file_signature(std::span<const uint8_t> raw) { return raw.size() >= 4 && std::memcmp(raw.data(), "FILE", 4) == 0; }

bool decode_file_record(std::span<uint8_t> raw, uint32_t sector_size, uint64_t volume_clusters, FileRecord& out,
                        std::string& error) {
    if (!has_file_signature(raw)) {
        error = "MFT Signature Error";
        return false;
    }
    if (raw.size() < kHeaderBytes || !apply_update_sequence(raw, sector_size, error)) {
        if (raw.size() < kHeaderBytes) error = "MFT record too short";
        return false;
    }
    out.flags = le16(raw, 22);
    out.base_record = record_of_reference(le64(raw, 32));
    out.attributes.clear();
    const uint32_t in_use = le32(raw, 24);
    const size_t limit = in_use < raw.size() ? in_use : raw.size();
    size_t at = le16(raw, 20);
    if (at < kHeaderBytes || at % 8 || at >= limit) {
        error = fmt("MFT Record Error: first attribute at 0x%X, %d bytes in use", static_cast<unsigned>(at),
                    static_cast<int>(in_use));
        return false;
    }
    while (true) {
        if (!fits(limit, at, 4)) {
            error = attribute_error("no end marker before the end of the record", static_cast<uint32_t>(at));
            return false;
        }
        const uint32_t type = le32(raw, at);
        if (type == kAttrEnd) return true;
        const auto length = read_le(raw.first(limit), at + 4, 4);
        if (!length || *length < 16 || *length % 8 || !fits(limit, at, *length)) {
            error = attribute_error("length runs past the record", static_cast<uint32_t>(at));
            return false;
        }
        Attribute a;
        a.type = type;
        a.offset = static_cast<uint32_t>(at);
        if (!decode_attribute(std::span<const uint8_t>(raw).subspan(at, *length), volume_clusters, a, error))
            return false;
        out.attributes.push_back(std::move(a));
        at += *length;
    }
}

}  // namespace tb::ntfs
