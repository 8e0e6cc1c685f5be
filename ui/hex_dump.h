// Hex-dump rows of a data file, as the job log shows hex-file lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tb {

// The row of (up to) 16 bytes at `offset`: "%08Xh: " with the offset, "%02X "
// per byte (three blanks per missing byte), then the bytes as characters,
// bytes below 0x20 as '.'.
std::string hex_dump_row(std::string_view data, size_t offset);

// Rows covering the first `max_bytes` bytes of `data`.
std::vector<std::string> hex_dump_rows(std::string_view data, size_t max_bytes);

}  // namespace tb
