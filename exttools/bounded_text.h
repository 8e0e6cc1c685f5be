// Reading a text file written by another program without trusting it: at
// most a set number of bytes and lines are taken, each line is cut to a set
// length, a file holding NUL bytes is taken for binary and yields no lines,
// a UTF-16 file (with its byte-order mark) is read as such, and bytes that
// are not UTF-8 or are control characters become '?'.
#pragma once

#include <cstddef>
#include <string_view>
#include <string>
#include <vector>

namespace tb {

struct TextLimits {
    size_t max_bytes = 4u << 20;
    size_t max_lines = 2000;
    size_t max_line_chars = 256;  // UTF-16 units, as the log counts them
};

struct BoundedText {
    bool found = false;    // the file could be opened
    bool binary = false;   // it holds NUL bytes: no lines are given
    bool cut = false;      // lines or bytes were left unread
    std::vector<std::string> lines;  // without their line ends
};

BoundedText read_bounded_text(const std::string& path, const TextLimits& limits = {});

// The readable part of raw bytes as UTF-8 text (see above).
std::string readable_text(std::string_view bytes);

}  // namespace tb
