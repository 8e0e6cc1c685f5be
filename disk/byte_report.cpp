#include "disk/byte_report.h"

#include <algorithm>

#include "common/format.h"

namespace tb {

namespace {

// Hex of a little-endian number of any width, without leading zeros.
std::string wide_hex(std::span<const uint8_t> bytes) {
    std::string out;
    for (size_t i = bytes.size(); i-- > 0;) {
        if (out.empty() && bytes[i] == 0) continue;
        out += out.empty() ? fmt("%X", bytes[i]) : fmt("%02X", bytes[i]);
    }
    return "0x" + (out.empty() ? std::string("0") : out);
}

}  // namespace

std::string field_value_text(std::span<const uint8_t> data, const FieldDef& f) {
    if (static_cast<size_t>(f.offset) + f.width > data.size()) return {};
    const std::span<const uint8_t> bytes = data.subspan(f.offset, f.width);
    switch (f.show) {
        case FieldShow::Id: return fmt("%04X", le_value(bytes));
        case FieldShow::Text: return ascii_field(bytes);
        case FieldShow::Bytes: return hex_bytes_text(bytes);
        case FieldShow::Number:
            if (f.width <= 4) return fmt("0x%X", le_value(bytes));
            if (f.width <= 8) return fmt("0x%I64X", le_value(bytes));
            return wide_hex(bytes);
    }
    return {};
}

std::string bit_value_text(std::span<const uint8_t> data, uint16_t field_offset, const BitDef& b) {
    if (field_offset >= data.size()) return {};
    const std::span<const uint8_t> field = data.subspan(field_offset);
    const unsigned width = b.hi - b.lo + 1u;
    if (width > 64 && b.lo % 8 == 0 && (b.hi + 1) % 8 == 0) {
        const size_t first = b.lo / 8, count = width / 8;
        if (first + count <= field.size()) return hex_bytes_text(field.subspan(first, count));
    }
    const uint64_t v = field_bits(field, b.hi, b.lo);
    return width > 32 ? fmt("0x%I64X", v) : fmt("0x%X", v);
}

std::string byte_field_line(uint16_t offset, uint16_t width, std::string_view label, std::string_view value) {
    const std::string range = width <= 1 ? fmt("Byte %d", offset) : fmt("Byte %d-%d", offset, offset + width - 1);
    return fmt("%-22s: %-71s| %s", range, label, value);
}

std::string byte_bit_line(uint16_t field_offset, const BitDef& b, std::string_view value) {
    const std::string bits = b.hi == b.lo ? fmt("    [%d]Bit %d", field_offset, b.hi)
                                          : fmt("    [%d]Bit %d-%d", field_offset, b.hi, b.lo);
    return fmt("%-22s: %-71s| %s", bits, b.label, value);
}

void clamp_range(uint32_t& start, uint32_t& end, uint32_t last) {
    end = std::min(end, last);
    start = std::min(start, end);
}

}  // namespace tb
