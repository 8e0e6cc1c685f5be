#include "exttools/bounded_text.h"

#include <cstdio>
#include <memory>
#include <string_view>

#include "common/text.h"
#include "platform/paths.h"

namespace tb {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Up to `limit` bytes of the file; `more` tells whether it holds more.
bool read_head(const std::string& path, size_t limit, std::string& out, bool& more) {
    std::unique_ptr<FILE, FileCloser> f(std::fopen(native_path(path).c_str(), "rb"));
    if (!f) return false;
    out.resize(limit + 1);
    const size_t n = std::fread(out.data(), 1, out.size(), f.get());
    more = n > limit;
    out.resize(more ? limit : n);
    return true;
}

// The length of the valid UTF-8 sequence at `i`, or 0.
size_t utf8_sequence(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) >> 6) != 0x2) return 0;
    return n;
}

std::string from_utf16le(std::string_view bytes) {
    std::u16string wide;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return to_utf8(wide);
}

}  // namespace

std::string readable_text(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = utf8_sequence(bytes, i);
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (n == 0 || (n == 1 && c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
            out += '?';
            ++i;
            continue;
        }
        out.append(bytes.substr(i, n));
        i += n;
    }
    return out;
}

BoundedText read_bounded_text(const std::string& path, const TextLimits& limits) {
    BoundedText t;
    std::string raw;
    bool more = false;
    if (!read_head(path, limits.max_bytes, raw, more)) return t;
    t.found = true;
    t.cut = more;
    std::string text;
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE) {
        text = from_utf16le(std::string_view(raw).substr(2));
    } else {
        if (raw.find('\0') != std::string::npos) {
            t.binary = true;
            return t;
        }
        text = raw;
        if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    }
    if (text.find('\0') != std::string::npos) {
        t.binary = true;
        return t;
    }
    size_t start = 0;
    while (start < text.size()) {
        if (t.lines.size() >= limits.max_lines) {
            t.cut = true;
            break;
        }
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line = std::string_view(text).substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        t.lines.push_back(utf16_truncate(readable_text(line), limits.max_line_chars));
        start = end + 1;
    }
    return t;
}

}  // namespace tb
