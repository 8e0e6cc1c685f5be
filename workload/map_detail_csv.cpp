#include "workload/map_detail_csv.h"

#include "common/format.h"

namespace tb {

namespace {

constexpr int kLbaWidth = 24;
constexpr int kCountWidth = 10;
constexpr int kDataWidth = 12;
constexpr int kBytesWidth = 24;
constexpr int kCountColumns = 5;
constexpr int kByteColumns = 4;

std::string field(std::string_view text, int width) {
    std::string f(text.substr(0, static_cast<size_t>(width)));
    f.resize(static_cast<size_t>(width), ' ');
    return f + ",";
}

std::string lba_bytes(uint64_t lba) {
    std::string s;
    for (int i = 7; i >= 0; --i) s += fmt("%02X ", static_cast<unsigned>((lba >> (8 * i)) & 0xFF));
    return field(s, kLbaWidth);
}

// The first 32 bytes in four columns of eight; "Read Fail" when absent.
std::string data_columns(const std::optional<std::span<const uint8_t>>& data) {
    if (!data) {
        std::string s = field("Read Fail", kBytesWidth);
        for (int c = 1; c < kByteColumns; ++c) s += field("", kBytesWidth);
        return s;
    }
    std::string s;
    for (int c = 0; c < kByteColumns; ++c) {
        std::string column;
        for (size_t i = static_cast<size_t>(c) * 8; i < static_cast<size_t>(c + 1) * 8; ++i)
            if (i < data->size()) column += fmt("%02X ", static_cast<unsigned>((*data)[i]));
        s += field(column, kBytesWidth);
    }
    return s;
}

std::string empty_leading_columns() {
    std::string s = field("", kLbaWidth);
    for (int c = 0; c < kCountColumns; ++c) s += field("", kCountWidth);
    return s + field("", kLbaWidth);
}

std::string rule() {
    std::string s = field(std::string(kLbaWidth, '-'), kLbaWidth);
    for (int c = 0; c < kCountColumns; ++c) s += field(std::string(kCountWidth, '-'), kCountWidth);
    s += field(std::string(kLbaWidth, '-'), kLbaWidth);
    s += field(std::string(kDataWidth, '-'), kDataWidth);
    for (int c = 0; c < kByteColumns; ++c) s += field(std::string(kBytesWidth, '-'), kBytesWidth);
    return s;
}

}  // namespace

std::string detail_csv_header(uint32_t request_bytes) {
    std::string s = field(fmt("Access LBA (%dKB)", request_bytes / 1024), kLbaWidth);
    for (const char* name : {"Correct", "Old Data", "All 0x00", "Miscompare", "Read Fail"}) s += field(name, kCountWidth);
    s += field("Error LBA", kLbaWidth);
    s += field("Data", kDataWidth);
    for (const char* name : {"BYTE 0-7", "BYTE 8-15", "BYTE 16-23", "BYTE 24-31"}) s += field(name, kBytesWidth);
    return s + "\r\n";
}

std::string detail_csv_block(const DetailBlock& b) {
    const SectorCounts& c = b.counts;
    std::string s = lba_bytes(b.unit_lba);
    s += fmt("%-10d,%-10d,%-10d,%-10d,%-10d,", static_cast<int64_t>(c.correct), static_cast<int64_t>(c.old_data),
             static_cast<int64_t>(c.zeros), static_cast<int64_t>(c.miscompare), static_cast<int64_t>(c.read_fail));
    s += lba_bytes(b.error_lba);
    s += field("Correct Data", kDataWidth) + data_columns(b.expected) + "\r\n";
    s += empty_leading_columns() + field("Read 1st", kDataWidth) + data_columns(b.read1) + "\r\n";
    s += empty_leading_columns() + field("Read 2nd", kDataWidth) + data_columns(b.read2) + "\r\n";
    return s + rule() + "\r\n";
}

}  // namespace tb
