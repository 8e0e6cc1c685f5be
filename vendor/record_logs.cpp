// The event log and the critical log: a header with a magic and an entry
// count, then fixed-size entries, padded to whole 4096-byte chunks.
#include "vendor/record_bytes.h"
#include "vendor/vendor_records.h"

namespace tb {

namespace {

size_t whole_chunks(size_t bytes) {
    const size_t chunks = (bytes + kVendorRecordBytes - 1) / kVendorRecordBytes;
    return (chunks == 0 ? 1 : chunks) * kVendorRecordBytes;
}

// Entry count of a log with `magic` whose entries fit in `r`, or nullopt.
std::optional<size_t> log_count(std::span<const uint8_t> r, uint32_t magic, size_t header, size_t entry) {
    if (r.size() < header || record_number(r, 0, 4) != magic) return std::nullopt;
    const uint64_t n = record_number(r, 4, 4);
    if (n > (r.size() - header) / entry) return std::nullopt;
    return static_cast<size_t>(n);
}

}  // namespace

std::vector<uint8_t> encode_event_log(std::span<const VendorEvent> events) {
    std::vector<uint8_t> r(whole_chunks(kEventHeaderBytes + events.size() * kEventEntryBytes), 0);
    put_record_number(r, 0, 4, kEventLogMagic);
    put_record_number(r, 4, 4, events.size());
    put_record_number(r, 8, 4, r.size());
    for (size_t i = 0; i < events.size(); ++i) {
        const size_t at = kEventHeaderBytes + i * kEventEntryBytes;
        put_record_number(r, at, 8, events[i].timestamp_ms);
        put_record_number(r, at + 8, 2, events[i].code);
        r[at + 10] = events[i].severity;
        put_record_number(r, at + 12, 4, events[i].parameter);
    }
    return r;
}

std::optional<std::vector<VendorEvent>> decode_event_log(std::span<const uint8_t> r) {
    const std::optional<size_t> n = log_count(r, kEventLogMagic, kEventHeaderBytes, kEventEntryBytes);
    if (!n) return std::nullopt;
    std::vector<VendorEvent> events(*n);
    for (size_t i = 0; i < *n; ++i) {
        const size_t at = kEventHeaderBytes + i * kEventEntryBytes;
        events[i].timestamp_ms = record_number(r, at, 8);
        events[i].code = static_cast<uint16_t>(record_number(r, at + 8, 2));
        events[i].severity = r[at + 10];
        events[i].parameter = static_cast<uint32_t>(record_number(r, at + 12, 4));
    }
    return events;
}

const char* event_code_name(uint16_t code) {
    switch (code) {
        case 0x0001: return "Power On";
        case 0x0002: return "Normal Shutdown";
        case 0x0003: return "Power Loss";
        case 0x0010: return "Read Retry";
        case 0x0011: return "Uncorrectable Read";
        case 0x0012: return "Program Fail";
        case 0x0013: return "Erase Fail";
        case 0x0020: return "Thermal Throttle";
        case 0x0021: return "Thermal Shutdown";
        case 0x0030: return "Firmware Update";
        case 0x0031: return "Brand New";
        case 0x0032: return "Clean SMART";
        case 0x0040: return "Controller Reset";
        default: return "Unknown Event";
    }
}

std::vector<uint8_t> encode_critical_log(std::span<const CriticalEntry> entries) {
    std::vector<uint8_t> r(whole_chunks(kCriticalHeaderBytes + entries.size() * kCriticalEntryBytes), 0);
    put_record_number(r, 0, 4, kCriticalLogMagic);
    put_record_number(r, 4, 4, entries.size());
    put_record_number(r, 8, 4, r.size() / kVendorRecordBytes);
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t at = kCriticalHeaderBytes + i * kCriticalEntryBytes;
        put_record_number(r, at, 8, entries[i].timestamp_ms);
        put_record_number(r, at + 8, 4, entries[i].code);
        put_record_number(r, at + 12, 4, entries[i].parameter);
        put_record_text(r, at + 16, 16, entries[i].text);
    }
    return r;
}

std::optional<std::vector<CriticalEntry>> decode_critical_log(std::span<const uint8_t> r) {
    const std::optional<size_t> n = log_count(r, kCriticalLogMagic, kCriticalHeaderBytes, kCriticalEntryBytes);
    if (!n) return std::nullopt;
    std::vector<CriticalEntry> entries(*n);
    for (size_t i = 0; i < *n; ++i) {
        const size_t at = kCriticalHeaderBytes + i * kCriticalEntryBytes;
        entries[i].timestamp_ms = record_number(r, at, 8);
        entries[i].code = static_cast<uint32_t>(record_number(r, at + 8, 4));
        entries[i].parameter = static_cast<uint32_t>(record_number(r, at + 12, 4));
        entries[i].text = record_text(r, at + 16, 16);
    }
    return entries;
}

uint32_t critical_log_chunks(std::span<const uint8_t> chunk0) {
    if (chunk0.size() < kCriticalHeaderBytes || record_number(chunk0, 0, 4) != kCriticalLogMagic) return 0;
    return static_cast<uint32_t>(record_number(chunk0, 8, 4));
}

}  // namespace tb
