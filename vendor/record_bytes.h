// Fixed-offset access to record bytes: little-endian numbers and zero-padded
// ASCII texts, every access checked against the record's end.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tb {

// Whether `size` bytes at `offset` lie inside a record of `total` bytes.
inline bool record_range_ok(size_t total, size_t offset, size_t size) {
    return offset <= total && size <= total - offset;
}

// Little-endian value of `size` (<= 8) bytes at `offset`; 0 outside the record.
uint64_t record_number(std::span<const uint8_t> record, size_t offset, size_t size);
void put_record_number(std::span<uint8_t> record, size_t offset, size_t size, uint64_t value);

// ASCII text of a field: stops at the first NUL, trailing blanks dropped.
std::string record_text(std::span<const uint8_t> record, size_t offset, size_t size);
// Stores `text` (cut to `size`) and zero-pads the rest of the field.
void put_record_text(std::span<uint8_t> record, size_t offset, size_t size, std::string_view text);

}  // namespace tb
