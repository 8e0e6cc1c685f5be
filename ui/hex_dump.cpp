#include "ui/hex_dump.h"

#include <algorithm>

#include "common/format.h"

namespace tb {

std::string hex_dump_row(std::string_view data, size_t offset) {
    std::string row = fmt("%08Xh: ", offset);
    size_t end = std::min(data.size(), offset + 16);
    for (size_t i = offset; i < offset + 16; ++i)
        row += i < end ? fmt("%02X ", static_cast<unsigned char>(data[i])) : std::string("   ");
    for (size_t i = offset; i < end; ++i) {
        unsigned char b = static_cast<unsigned char>(data[i]);
        if (b < 0x20) {
            row += '.';
        } else if (b < 0x80) {
            row += static_cast<char>(b);
        } else {  // the byte read as a code point (U+0080..U+00FF)
            row += static_cast<char>(0xC0 | (b >> 6));
            row += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return row;
}

std::vector<std::string> hex_dump_rows(std::string_view data, size_t max_bytes) {
    std::vector<std::string> rows;
    size_t n = std::min(data.size(), max_bytes);
    for (size_t off = 0; off < n; off += 16) rows.push_back(hex_dump_row(data.substr(0, n), off));
    return rows;
}

}  // namespace tb
