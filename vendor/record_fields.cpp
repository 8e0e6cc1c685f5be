// Named fields of a record: showing and setting one item by its kind.
#include <cctype>
#include <cstdio>

#include "script/error_policy.h"
#include "vendor/record_bytes.h"
#include "vendor/vendor_records.h"

namespace tb {

namespace {

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view trimmed(std::string_view v) {
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return v;
}

// Digits of `base` only, at least one; false on overflow of 64 bits.
bool parse_digits(std::string_view v, unsigned base, uint64_t& out) {
    if (v.empty()) return false;
    uint64_t n = 0;
    for (char c : v) {
        unsigned d;
        if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
        else return false;
        if (n > (UINT64_MAX - d) / base) return false;
        n = n * base + d;
    }
    out = n;
    return true;
}

bool has_hex_prefix(std::string_view v) { return v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X'); }

bool fits(uint64_t v, uint32_t size) { return size >= 8 || v < (uint64_t{1} << (8 * size)); }

}  // namespace

std::string named_field_text(std::span<const uint8_t> record, const FwConfigItem& item) {
    if (!record_range_ok(record.size(), item.offset, item.size)) return {};
    switch (item.kind) {
        case FwConfigItem::Text: return record_text(record, item.offset, item.size);
        case FwConfigItem::Number: return std::to_string(record_number(record, item.offset, item.size));
        case FwConfigItem::Hex: break;
    }
    const uint64_t v = record_number(record, item.offset, item.size);
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%0*llX", static_cast<int>(item.size * 2), static_cast<unsigned long long>(v));
    return buf;
}

int set_named_field(std::span<uint8_t> record, const FwConfigItem& item, std::string_view value) {
    if (!record_range_ok(record.size(), item.offset, item.size)) return kErrParam;
    if (item.kind == FwConfigItem::Text) {
        if (value.size() > item.size) return kErrParam;
        for (char c : value)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return kErrParam;
        put_record_text(record, item.offset, item.size, value);
        return 0;
    }
    if (item.size > 8) return kErrParam;
    std::string_view v = trimmed(value);
    uint64_t n = 0;
    bool ok;
    if (has_hex_prefix(v)) ok = parse_digits(v.substr(2), 16, n);
    else ok = parse_digits(v, item.kind == FwConfigItem::Hex ? 16 : 10, n);
    if (!ok || !fits(n, item.size)) return kErrParam;
    put_record_number(record, item.offset, item.size, n);
    return 0;
}

const FwConfigItem* find_named_field(std::span<const FwConfigItem> table, std::string_view name) {
    for (const FwConfigItem& item : table)
        if (same_name(item.name, trimmed(name))) return &item;
    return nullptr;
}

}  // namespace tb
