// Encodings of the system's text files: the result and init-parameter files
// are UTF-16LE without byte-order mark; scripts, reports and the HTML log are
// UTF-8. Readers accept either.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tb {

// UTF-8 text as UTF-16LE bytes (no byte-order mark).
std::string utf16le_bytes(std::string_view utf8);

// File bytes to UTF-8 text: UTF-16LE (with or without FF FE) when the bytes
// hold zero bytes or start with FF FE, else UTF-8 (an EF BB BF mark is dropped).
std::string decode_text_bytes(std::string_view bytes);

// Splits at LF, drops one CR before it and cuts each line at `max_units` UTF-16 units.
std::vector<std::string> split_text_lines(std::string_view text, size_t max_units);

// Reads a text file whole into lines; false when it cannot be opened.
bool read_text_lines(const std::string& path, size_t max_units, std::vector<std::string>& lines);

}  // namespace tb
