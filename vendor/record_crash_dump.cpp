// The crash dump: a 16-byte header (magic, total bytes, reason, section
// count), a table of 24-byte sections (name, offset, size) and the data,
// padded to whole 4096-byte chunks.
#include <algorithm>

#include "vendor/record_bytes.h"
#include "vendor/vendor_records.h"

namespace tb {

namespace {

constexpr size_t kTableBytes = kMaxCrashSections * kCrashSectionBytes;

size_t section_entry(size_t i) { return kCrashHeaderBytes + i * kCrashSectionBytes; }

}  // namespace

std::vector<uint8_t> encode_crash_dump(const CrashDump& dump) {
    const size_t sections = std::min<size_t>(dump.sections.size(), kMaxCrashSections);
    size_t bytes = kCrashHeaderBytes + kTableBytes;
    for (size_t i = 0; i < sections; ++i) bytes += dump.sections[i].data.size();
    bytes = (bytes + kVendorRecordBytes - 1) / kVendorRecordBytes * kVendorRecordBytes;
    std::vector<uint8_t> r(bytes, 0);
    put_record_number(r, 0, 4, kCrashDumpMagic);
    put_record_number(r, 4, 4, bytes);
    put_record_number(r, 8, 4, dump.reason);
    put_record_number(r, 12, 4, sections);
    size_t at = kCrashHeaderBytes + kTableBytes;
    for (size_t i = 0; i < sections; ++i) {
        const CrashSection& s = dump.sections[i];
        put_record_text(r, section_entry(i), 16, s.name);
        put_record_number(r, section_entry(i) + 16, 4, at);
        put_record_number(r, section_entry(i) + 20, 4, s.data.size());
        std::copy(s.data.begin(), s.data.end(), r.begin() + static_cast<std::ptrdiff_t>(at));
        at += s.data.size();
    }
    return r;
}

std::optional<CrashDump> decode_crash_dump(std::span<const uint8_t> r) {
    const uint32_t total = crash_dump_total_bytes(r);
    if (total == 0 || total > r.size()) return std::nullopt;
    const uint64_t sections = record_number(r, 12, 4);
    if (sections > kMaxCrashSections) return std::nullopt;
    CrashDump dump;
    dump.reason = static_cast<uint32_t>(record_number(r, 8, 4));
    for (size_t i = 0; i < sections; ++i) {
        const uint64_t offset = record_number(r, section_entry(i) + 16, 4);
        const uint64_t size = record_number(r, section_entry(i) + 20, 4);
        if (offset < kCrashHeaderBytes + kTableBytes || !record_range_ok(total, offset, size)) return std::nullopt;
        CrashSection s;
        s.name = record_text(r, section_entry(i), 16);
        s.data.assign(r.begin() + static_cast<std::ptrdiff_t>(offset),
                      r.begin() + static_cast<std::ptrdiff_t>(offset + size));
        dump.sections.push_back(std::move(s));
    }
    return dump;
}

uint32_t crash_dump_total_bytes(std::span<const uint8_t> chunk0) {
    if (chunk0.size() < kCrashHeaderBytes + kTableBytes || record_number(chunk0, 0, 4) != kCrashDumpMagic) return 0;
    const uint64_t total = record_number(chunk0, 4, 4);
    if (total < kCrashHeaderBytes + kTableBytes || total % kVendorRecordBytes != 0) return 0;
    return static_cast<uint32_t>(total);
}

const char* crash_reason_name(uint32_t reason) {
    switch (reason) {
        case 1: return "Assert";
        case 2: return "Exception";
        case 3: return "Watchdog";
        case 4: return "Host Request";
        default: return "Unknown";
    }
}

}  // namespace tb
