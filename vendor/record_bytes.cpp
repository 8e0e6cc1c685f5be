#include "vendor/record_bytes.h"

#include <algorithm>

namespace tb {

uint64_t record_number(std::span<const uint8_t> record, size_t offset, size_t size) {
    if (size > 8 || !record_range_ok(record.size(), offset, size)) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i) v |= static_cast<uint64_t>(record[offset + i]) << (8 * i);
    return v;
}

void put_record_number(std::span<uint8_t> record, size_t offset, size_t size, uint64_t value) {
    if (size > 8 || !record_range_ok(record.size(), offset, size)) return;
    for (size_t i = 0; i < size; ++i) record[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string record_text(std::span<const uint8_t> record, size_t offset, size_t size) {
    if (!record_range_ok(record.size(), offset, size)) return {};
    std::string s;
    for (size_t i = 0; i < size && record[offset + i] != 0; ++i) s.push_back(static_cast<char>(record[offset + i]));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

void put_record_text(std::span<uint8_t> record, size_t offset, size_t size, std::string_view text) {
    if (!record_range_ok(record.size(), offset, size)) return;
    const size_t n = std::min(size, text.size());
    std::fill(record.begin() + offset, record.begin() + offset + size, uint8_t{0});
    std::copy(text.begin(), text.begin() + n, record.begin() + offset);
}

}  // namespace tb
