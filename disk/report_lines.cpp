#include "disk/report_lines.h"

#include <cstdlib>

#include "common/format.h"
#include "common/text.h"
#include "script/app_context.h"
#include "script/handler.h"

namespace tb {

bool write_report(int slot, const ReportLines& lines) {
    for (const ReportLine& line : lines) {
        if (cancel_requested(slot)) {
            log_text(slot, "---- Cancel Command ----", colour::kCyan);
            return false;
        }
        log_text(slot, line.text, line.colour);
    }
    return true;
}

std::string hex_bytes_text(std::span<const uint8_t> bytes, size_t max_chars) {
    std::string out;
    for (uint8_t b : bytes) {
        if (out.size() > max_chars) break;
        out += fmt("%02X ", b);
    }
    return out;
}

std::string ascii_field(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        if (b == 0) continue;
        out += (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

uint64_t field_bits(std::span<const uint8_t> field, unsigned hi, unsigned lo) {
    if (hi < lo) return 0;
    uint64_t v = 0;
    const unsigned width = hi - lo + 1;
    for (unsigned i = 0; i < width && i < 64; ++i) {
        const unsigned bit = lo + i;
        const size_t byte = bit / 8;
        if (byte >= field.size()) break;
        if (field[byte] >> (bit % 8) & 1) v |= uint64_t{1} << i;
    }
    return v;
}

uint64_t le_value(std::span<const uint8_t> bytes) {
    uint64_t v = 0;
    for (size_t i = 0; i < bytes.size() && i < 8; ++i) v |= uint64_t{bytes[i]} << (8 * i);
    return v;
}

std::string normalise_items(std::string_view items) {
    std::string out;
    for (char c : items)
        if (c != ' ' && c != '\t') out += ascii_upper(c);
    if (out.empty()) return out;
    return "|" + out + "|";
}

void set_items_result(int slot, const std::string& name, const std::vector<std::string>& values) {
    if (values.empty()) return;
    if (values.size() > 1) {
        std::string joined;
        for (const std::string& v : values) joined += v + ",";
        joined.pop_back();
        set_result_string(slot, name, joined);
        return;
    }
    const std::string& v = values.front();
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        set_result_string(slot, name, v.substr(1, v.size() - 2));
        return;
    }
    char* end = nullptr;
    if (v.size() > 2 && (v[0] == '0') && (v[1] == 'x' || v[1] == 'X')) {
        const unsigned long long n = std::strtoull(v.c_str() + 2, &end, 16);
        if (end && *end == '\0') {
            set_result_number(slot, name, static_cast<int64_t>(n), ValueType::Hex);
            return;
        }
    }
    if (!v.empty()) {
        const long long n = std::strtoll(v.c_str(), &end, 10);
        if (end && *end == '\0') {
            set_result_number(slot, name, n);
            return;
        }
    }
    set_result_string(slot, name, v);
}

}  // namespace tb
