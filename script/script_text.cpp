#include "script/script_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/file_handle.h"
#include "common/format.h"
#include "common/text.h"
#include "platform/paths.h"
#include "script/job_slot.h"

namespace tb {

namespace {

// The substitution applied to every byte of an encoded script when it is
// restored. The packer writes scripts with the inverse table. Changing this
// table makes every packaged script unreadable.
constexpr std::array<uint8_t, 256> kDecodeTable = {
    0x80, 0x72, 0x9A, 0x82, 0x0A, 0x32, 0x13, 0x96, 0xA0, 0x65, 0x54, 0xA9, 0x1E, 0x23, 0x1D, 0x27,
    0x39, 0xE8, 0xC0, 0xF0, 0xD9, 0x52, 0xAE, 0x4F, 0x6E, 0x9F, 0x12, 0x18, 0x57, 0xB4, 0x75, 0x8D,
    0xE9, 0xDA, 0xBA, 0x15, 0x41, 0x22, 0x4E, 0x62, 0xF9, 0x1F, 0xB6, 0xF6, 0x21, 0xD1, 0x5E, 0x4C,
    0x76, 0xA4, 0xB9, 0xB2, 0x94, 0xC3, 0xF3, 0xAD, 0x7D, 0x70, 0xE5, 0xF4, 0xBD, 0x5D, 0x95, 0xEA,
    0x6C, 0x93, 0x6F, 0x00, 0x5A, 0x9C, 0x17, 0x74, 0xDB, 0xBB, 0x5B, 0xC6, 0xF5, 0x7B, 0x7F, 0x34,
    0x8A, 0x0F, 0xC7, 0xEB, 0x8F, 0x60, 0x2C, 0x92, 0x79, 0x31, 0x44, 0x36, 0x9E, 0x2F, 0xA2, 0x63,
    0x0E, 0x86, 0x46, 0xCB, 0xFB, 0xD6, 0xE0, 0xC9, 0xC1, 0x89, 0x49, 0xEF, 0x14, 0xFA, 0x68, 0x2B,
    0xCF, 0x83, 0xD3, 0xEE, 0xD7, 0xEC, 0x85, 0xD4, 0x4D, 0xAC, 0xAF, 0x7E, 0xE3, 0xBF, 0x9B, 0x1C,
    0xA8, 0x43, 0x56, 0xBE, 0xAB, 0x8B, 0x9D, 0x5F, 0x97, 0x03, 0xD8, 0x4B, 0x06, 0x45, 0x7C, 0x20,
    0x07, 0x51, 0x88, 0x02, 0x1A, 0x67, 0x66, 0xA1, 0xB8, 0xA7, 0xED, 0x33, 0x84, 0x91, 0x53, 0x99,
    0x73, 0xCA, 0x90, 0x87, 0xC5, 0x40, 0x16, 0xB3, 0x30, 0x0C, 0x64, 0x38, 0x2E, 0x24, 0x58, 0x3D,
    0x1B, 0x69, 0xA5, 0x0B, 0xB0, 0x3F, 0x37, 0x3C, 0xD0, 0x59, 0x6B, 0xE1, 0x50, 0x19, 0xE2, 0x48,
    0x98, 0x05, 0x08, 0xF8, 0xFF, 0x04, 0x47, 0x29, 0x25, 0xC4, 0xE4, 0xA6, 0x10, 0xF7, 0xFE, 0x5C,
    0x2A, 0xC2, 0xE7, 0x42, 0x26, 0xCE, 0x6A, 0xAA, 0x6D, 0xCD, 0x11, 0xBC, 0x61, 0xFC, 0xDC, 0xB5,
    0x78, 0xDF, 0xB1, 0xE6, 0x8C, 0xFD, 0x7A, 0x4A, 0x2D, 0x81, 0xB7, 0x01, 0xD2, 0x3A, 0xA3, 0xF2,
    0x35, 0x8E, 0xDE, 0x55, 0x3E, 0x09, 0xF1, 0xDD, 0x3B, 0xCC, 0x77, 0xD5, 0x0D, 0x71, 0x28, 0xC8
};

std::array<uint8_t, 256> invert(const std::array<uint8_t, 256>& t) {
    std::array<uint8_t, 256> inv{};
    for (size_t i = 0; i < 256; ++i) inv[t[i]] = static_cast<uint8_t>(i);
    return inv;
}

bool is_terminator(char c) { return c == ';' || c == '{' || c == '}'; }

}  // namespace

const std::array<uint8_t, 256>& script_decode_table() { return kDecodeTable; }

const std::array<uint8_t, 256>& script_encode_table() {
    static const std::array<uint8_t, 256> inverse = invert(kDecodeTable);
    return inverse;
}

void decode_script_buffer(std::string& buffer) {
    std::reverse(buffer.begin(), buffer.end());
    for (char& c : buffer) c = static_cast<char>(kDecodeTable[static_cast<uint8_t>(c)]);
}

void encode_script_buffer(std::string& buffer) {
    const auto& enc = script_encode_table();
    for (char& c : buffer) c = static_cast<char>(enc[static_cast<uint8_t>(c)]);
    std::reverse(buffer.begin(), buffer.end());
}

std::string load_script(const std::string& path, std::string& failure) {
    failure.clear();
    std::string buffer;
    errno = 0;
    // A folder opens like a file here; reading it is what fails (EISDIR).
    if (!read_file_bytes(path, buffer)) {
        failure = std::strerror(errno ? errno : EIO);
        return {};
    }
    if (path_extension(path) != ".scpt") decode_script_buffer(buffer);
    return buffer;
}

std::string load_script(const std::string& path) {
    std::string failure;
    return load_script(path, failure);
}

size_t cut_statement(std::string_view script, size_t pos, std::string& raw) {
    raw.clear();
    if (pos >= script.size()) return 0;
    size_t window = std::min(script.size() - pos, kStatementWindow);
    size_t len = window;
    for (size_t i = 0; i + 1 < window; ++i) {
        if (is_terminator(script[pos + i])) {
            len = i + 1;
            break;
        }
    }
    raw.assign(script.substr(pos, len));
    return len;
}

std::string clean_statement(std::string_view raw) { return trim(blank_comments(raw)); }

std::string blank_comments(std::string_view raw) {
    std::string out(raw);
    bool comment = false;
    for (size_t i = 0; i < out.size(); ++i) {
        if (comment) {
            if (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n') {
                out[i] = out[i + 1] = ' ';
                ++i;
                comment = false;
            } else {
                out[i] = ' ';
            }
        } else if (out[i] == '/' && i + 1 < out.size() && out[i + 1] == '/') {
            comment = true;
            out[i] = ' ';
        } else if (out[i] == '\r' || out[i] == '\n') {
            out[i] = ' ';
        }
    }
    return out;
}

std::string collapse_blanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool quoted = false, blank = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == ' ' || c == '\t')) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

bool next_statement_is_else(std::string_view script, size_t pos) {
    size_t end = std::string_view::npos;
    for (size_t i = pos; i < script.size(); ++i) {
        if (is_terminator(script[i])) {
            end = i;
            break;
        }
    }
    if (end == std::string_view::npos) return false;
    std::string_view rest = script.substr(end + 1, 250);
    size_t b = 0, e = rest.size();
    auto outside = [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u <= 32 || u >= 127;
    };
    while (b < e && outside(rest[b])) ++b;
    while (e > b && outside(rest[e - 1])) --e;
    std::string word = to_lower(rest.substr(b, e - b));
    size_t cut = word.find_first_of(" ({\r");
    if (cut != std::string::npos) word.resize(cut);
    return word == "else";
}

std::string find_script_file(int slot, std::string_view name) {
    if (name.empty()) return {};
    std::string n = native_path(name);
    bool absolute = n.find(':') != std::string::npos || n.front() == '/';
    if (absolute) return file_exists(n) ? n : std::string();
    std::vector<std::string> folders;
    if (JobSlot* js = job_slot(slot)) {
        if (!js->script_path.empty()) folders.push_back(path_folder(absolute_path(js->script_path)));
        if (!js->log_folder.empty() && (folders.empty() || folders[0] != js->log_folder))
            folders.push_back(js->log_folder);
    }
    folders.push_back(path_folder(program_path()));
    for (const auto& f : folders) {
        std::string candidate = fmt("%s\\%s", f, n);
        if (file_exists(candidate)) return absolute_path(native_path(candidate));
    }
    return {};
}

}  // namespace tb
