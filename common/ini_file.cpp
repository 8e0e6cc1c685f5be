#include "common/ini_file.h"

#include <fstream>
#include <iterator>

#include "common/text.h"
#include "platform/paths.h"

namespace tb {

namespace {

// A section header: "[name]" after trimming; the name itself is trimmed.
bool section_name(std::string_view line, std::string& name) {
    std::string_view t = trim_view(line);
    if (t.empty() || t.front() != '[') return false;
    size_t close = t.find(']');
    name = trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return true;
}

// A key line: "key=value" that is not a comment; both parts trimmed.
bool key_line(std::string_view line, std::string_view& key, std::string_view& value) {
    std::string_view t = trim_view(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return false;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    key = trim_view(t.substr(0, eq));
    value = trim_view(t.substr(eq + 1));
    return true;
}

std::string unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return std::string(v.substr(1, v.size() - 2));
    return std::string(v);
}

}  // namespace

bool IniFile::load(const std::string& path) {
    lines_.clear();
    encoding_ = Encoding::Utf8;
    eol_ = "\r\n";
    std::ifstream in(native_path(path), std::ios::binary);
    if (!in) return false;
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
        static_cast<unsigned char>(raw[1]) == 0xFE) {
        std::u16string wide;
        wide.reserve((raw.size() - 2) / 2);
        for (size_t i = 2; i + 1 < raw.size(); i += 2)
            wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(raw[i]) |
                                                 (static_cast<unsigned char>(raw[i + 1]) << 8)));
        parse(to_utf8(wide));
        encoding_ = Encoding::Utf16Le;
    } else if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        parse(std::string_view(raw).substr(3));
        encoding_ = Encoding::Utf8Bom;
    } else {
        parse(raw);
    }
    return true;
}

void IniFile::parse(std::string_view text) {
    lines_.clear();
    size_t lf = text.find('\n');
    if (lf == std::string_view::npos)
        eol_ = "\r\n";  // new lines get the Windows ending
    else
        eol_ = lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines_.emplace_back(line);
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
}

std::optional<IniFile::Range> IniFile::find_section(std::string_view section) const {
    std::string name;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (!section_name(lines_[i], name) || !iequals(name, section)) continue;
        size_t end = i + 1;
        std::string other;
        while (end < lines_.size() && !section_name(lines_[end], other)) ++end;
        return Range{i, i + 1, end};
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
    auto range = find_section(section);
    if (!range) return std::nullopt;
    std::string_view k, v;
    for (size_t i = range->begin; i < range->end; ++i)
        if (key_line(lines_[i], k, v) && iequals(k, key)) return unquote(v);
    return std::nullopt;
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = std::string(key) + "=" + std::string(value);
    auto range = find_section(section);
    if (!range) {
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(line);
        return;
    }
    std::string_view k, v;
    size_t insert_at = range->begin;
    for (size_t i = range->begin; i < range->end; ++i) {
        if (key_line(lines_[i], k, v) && iequals(k, key)) {
            // Keep the key as the file spells it.
            lines_[i] = std::string(k) + "=" + std::string(value);
            return;
        }
        if (!trim_view(lines_[i]).empty()) insert_at = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), line);
}

std::vector<std::string> IniFile::sections() const {
    std::vector<std::string> out;
    std::string name;
    for (const auto& l : lines_)
        if (section_name(l, name)) out.push_back(name);
    return out;
}

std::vector<std::string> IniFile::keys(std::string_view section) const {
    std::vector<std::string> out;
    auto range = find_section(section);
    if (!range) return out;
    std::string_view k, v;
    for (size_t i = range->begin; i < range->end; ++i)
        if (key_line(lines_[i], k, v)) out.emplace_back(k);
    return out;
}

std::string IniFile::text() const {
    std::string out;
    for (const auto& l : lines_) {
        out += l;
        out += eol_;
    }
    return out;
}

bool IniFile::save(const std::string& path) const {
    std::ofstream out(native_path(path), std::ios::binary | std::ios::trunc);
    if (!out) return false;
    std::string body = text();
    if (encoding_ == Encoding::Utf16Le) {
        std::u16string wide = to_utf16(body);
        std::string raw = "\xFF\xFE";
        raw.reserve(2 + wide.size() * 2);
        for (char16_t c : wide) {
            raw.push_back(static_cast<char>(c & 0xFF));
            raw.push_back(static_cast<char>(c >> 8));
        }
        out << raw;
    } else {
        if (encoding_ == Encoding::Utf8Bom) out << "\xEF\xBB\xBF";
        out << body;
    }
    out.flush();
    return static_cast<bool>(out);
}

std::string ini_read_string(const std::string& path, std::string_view section, std::string_view key,
                            std::string_view fallback) {
    IniFile ini;
    if (!ini.load(path)) return std::string(fallback);
    auto v = ini.get(section, key);
    return v ? *v : std::string(fallback);
}

bool ini_write_string(const std::string& path, std::string_view section, std::string_view key,
                      std::string_view value) {
    IniFile ini;
    ini.load(path);  // a missing file starts empty
    ini.set(section, key, value);
    return ini.save(path);
}

}  // namespace tb
