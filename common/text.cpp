#include "common/text.h"

namespace tb {

namespace {

// Decode one code point from UTF-8; invalid bytes decode as U+FFFD one byte at a time.
char32_t decode_utf8(std::string_view s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    auto cont = [&](size_t k) -> int {
        if (i + k >= s.size()) return -1;
        unsigned char b = static_cast<unsigned char>(s[i + k]);
        return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
    };
    if (c < 0x80) {
        i += 1;
        return c;
    }
    if ((c & 0xE0) == 0xC0) {
        int b1 = cont(1);
        if (b1 >= 0) {
            char32_t cp = ((c & 0x1F) << 6) | b1;
            if (cp >= 0x80) {
                i += 2;
                return cp;
            }
        }
    } else if ((c & 0xF0) == 0xE0) {
        int b1 = cont(1), b2 = b1 >= 0 ? cont(2) : -1;
        if (b2 >= 0) {
            char32_t cp = ((c & 0x0F) << 12) | (b1 << 6) | b2;
            if (cp >= 0x800) {
                i += 3;
                return cp;
            }
        }
    } else if ((c & 0xF8) == 0xF0) {
        int b1 = cont(1), b2 = b1 >= 0 ? cont(2) : -1, b3 = b2 >= 0 ? cont(3) : -1;
        if (b3 >= 0) {
            char32_t cp = ((c & 0x07) << 18) | (b1 << 12) | (b2 << 6) | b3;
            if (cp >= 0x10000 && cp <= 0x10FFFF) {
                i += 4;
                return cp;
            }
        }
    }
    i += 1;
    return 0xFFFD;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

size_t units_of(char32_t cp) { return cp >= 0x10000 ? 2 : 1; }

}  // namespace

std::u16string to_utf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t cp = decode_utf8(s, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string to_utf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        append_utf8(out, cp);
    }
    return out;
}

size_t utf16_length(std::string_view s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size();) n += units_of(decode_utf8(s, i));
    return n;
}

std::string utf16_substr(std::string_view s, size_t start, size_t end) {
    size_t n = 0, i = 0, from = s.size(), to = s.size();
    while (i < s.size()) {
        if (n >= start && from == s.size()) from = i;
        if (n >= end) {
            to = i;
            break;
        }
        size_t before = i;
        n += units_of(decode_utf8(s, i));
        if (n > end) {  // a surrogate pair straddles the end: leave it out
            to = before;
            break;
        }
    }
    if (from > to) return {};
    return std::string(s.substr(from, to - from));
}

std::string utf16_truncate(std::string_view s, size_t units) { return utf16_substr(s, 0, units); }

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string to_lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

std::string to_upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ascii_upper(c);
    return out;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

bool istarts_with(std::string_view s, std::string_view p) {
    return s.size() >= p.size() && iequals(s.substr(0, p.size()), p);
}

size_t ifind(std::string_view hay, std::string_view needle, size_t from) {
    if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= hay.size(); ++i)
        if (iequals(hay.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

std::string ireplace_all(std::string_view s, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(s);
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = ifind(s, from, pos)) != std::string_view::npos; pos = hit + from.size()) {
        out.append(s.substr(pos, hit - pos));
        out.append(to);
    }
    out.append(s.substr(pos));
    return out;
}

std::string replace_all(std::string_view s, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(s);
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = s.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
        out.append(s.substr(pos, hit - pos));
        out.append(to);
    }
    out.append(s.substr(pos));
    return out;
}

std::string_view trim_view(std::string_view s, std::string_view chars) {
    size_t b = s.find_first_not_of(chars);
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(chars);
    return s.substr(b, e - b + 1);
}

std::vector<std::string> split(std::string_view s, char sep) {
    std::vector<std::string> out;
    size_t pos = 0;
    for (;;) {
        size_t hit = s.find(sep, pos);
        if (hit == std::string_view::npos) {
            out.emplace_back(s.substr(pos));
            return out;
        }
        out.emplace_back(s.substr(pos, hit - pos));
        pos = hit + 1;
    }
}

}  // namespace tb
