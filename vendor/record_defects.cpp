// The grown defect list and the die grown defect list: a 16-byte header
// (magic, entry count) and 8-byte entries.
#include <algorithm>

#include "vendor/record_bytes.h"
#include "vendor/vendor_records.h"

namespace tb {

namespace {

std::vector<uint8_t> defect_record(uint32_t magic, size_t count) {
    std::vector<uint8_t> r(kVendorRecordBytes, 0);
    put_record_number(r, 0, 4, magic);
    put_record_number(r, 4, 4, count);
    return r;
}

// The entry count of a defect record with `magic`, or nullopt.
std::optional<size_t> defect_count(std::span<const uint8_t> r, uint32_t magic) {
    if (r.size() != kVendorRecordBytes || record_number(r, 0, 4) != magic) return std::nullopt;
    const uint64_t n = record_number(r, 4, 4);
    if (n > kMaxDefectEntries) return std::nullopt;
    return static_cast<size_t>(n);
}

size_t entry_at(size_t i) { return kDefectHeaderBytes + i * kDefectEntryBytes; }

}  // namespace

std::vector<uint8_t> encode_grown_defects(std::span<const GrownDefect> list) {
    const size_t n = std::min(list.size(), kMaxDefectEntries);
    std::vector<uint8_t> r = defect_record(kGrownDefectMagic, n);
    for (size_t i = 0; i < n; ++i) {
        const size_t at = entry_at(i);
        r[at] = list[i].channel;
        r[at + 1] = list[i].ce;
        r[at + 2] = list[i].die;
        r[at + 3] = list[i].plane;
        put_record_number(r, at + 4, 2, list[i].block);
        r[at + 6] = list[i].reason;
    }
    return r;
}

std::optional<std::vector<GrownDefect>> decode_grown_defects(std::span<const uint8_t> r) {
    const std::optional<size_t> n = defect_count(r, kGrownDefectMagic);
    if (!n) return std::nullopt;
    std::vector<GrownDefect> list(*n);
    for (size_t i = 0; i < *n; ++i) {
        const size_t at = entry_at(i);
        list[i] = {r[at], r[at + 1], r[at + 2], r[at + 3], static_cast<uint16_t>(record_number(r, at + 4, 2)),
                   r[at + 6]};
    }
    return list;
}

const char* defect_reason_name(uint8_t reason) {
    switch (reason) {
        case 1: return "Program Fail";
        case 2: return "Erase Fail";
        case 3: return "Read Fail";
        default: return "Unknown";
    }
}

std::vector<uint8_t> encode_die_defects(std::span<const DieDefects> list) {
    const size_t n = std::min(list.size(), kMaxDefectEntries);
    std::vector<uint8_t> r = defect_record(kDieDefectMagic, n);
    for (size_t i = 0; i < n; ++i) {
        const size_t at = entry_at(i);
        r[at] = list[i].channel;
        r[at + 1] = list[i].ce;
        r[at + 2] = list[i].die;
        put_record_number(r, at + 4, 4, list[i].grown_blocks);
    }
    return r;
}

std::optional<std::vector<DieDefects>> decode_die_defects(std::span<const uint8_t> r) {
    const std::optional<size_t> n = defect_count(r, kDieDefectMagic);
    if (!n) return std::nullopt;
    std::vector<DieDefects> list(*n);
    for (size_t i = 0; i < *n; ++i) {
        const size_t at = entry_at(i);
        list[i] = {r[at], r[at + 1], r[at + 2], static_cast<uint32_t>(record_number(r, at + 4, 4))};
    }
    return list;
}

}  // namespace tb
