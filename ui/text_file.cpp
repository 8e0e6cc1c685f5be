#include "ui/text_file.h"

#include "common/text.h"
#include "common/file_handle.h"

namespace tb {

std::string utf16le_bytes(std::string_view utf8) {
    std::u16string units = to_utf16(utf8);
    std::string out;
    out.reserve(units.size() * 2);
    for (char16_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

std::string decode_text_bytes(std::string_view bytes) {
    bool bom16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                 static_cast<unsigned char>(bytes[1]) == 0xFE;
    if (bom16 || bytes.find('\0') != std::string_view::npos) {
        std::u16string units;
        units.reserve(bytes.size() / 2);
        for (size_t i = bom16 ? 2 : 0; i + 1 < bytes.size(); i += 2)
            units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return to_utf8(units);
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return std::string(bytes);
}

std::vector<std::string> split_text_lines(std::string_view text, size_t max_units) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(utf16_truncate(line, max_units));
        pos = lf == std::string_view::npos ? text.size() : lf + 1;
    }
    return lines;
}

bool read_text_lines(const std::string& path, size_t max_units, std::vector<std::string>& lines) {
    std::string bytes;
    lines.clear();
    if (!read_file_bytes(path, bytes)) return false;
    lines = split_text_lines(decode_text_bytes(bytes), max_units);
    return true;
}

}  // namespace tb
