// Byte-range reports of 4096-byte NVMe Identify structures: the structure is
// kept as a table of fields (offset, width, how the value is shown, label)
// and a table of bit groups per field, so that both can be checked and
// extended without touching the printing.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "disk/report_lines.h"

namespace tb {

enum class FieldShow : uint8_t {
    Number,  // "0x%X" (up to 4 bytes), "0x%I64X" (8 bytes), 16 bytes as one 128-bit number
    Id,      // "%04X"
    Text,    // ASCII text
    Bytes,   // "%02X " per byte (reserved, vendor-specific, identifiers, descriptors)
};

struct FieldDef {
    uint16_t offset;
    uint16_t width;  // bytes
    FieldShow show;
    const char* label;
};

// Bits hi..lo of the field that starts at byte `offset` (bit 0 is bit 0 of
// that byte).
struct BitDef {
    uint16_t offset;
    uint16_t hi, lo;
    const char* label;
};

struct StructureLayout {
    std::span<const FieldDef> fields;
    std::span<const BitDef> bits;
};

// The 32-byte power state descriptors from byte 2048 and the 4-byte LBA
// format entries from byte 128 repeat one bit table each.
struct RepeatedEntry {
    uint16_t first_offset;
    uint16_t width;
    uint16_t count;
    const char* label;  // "%d" twice: entry number in the description and the abbreviation
    std::span<const BitDef> bits;  // offsets relative to the entry (0)
};

// The value text of a field.
std::string field_value_text(std::span<const uint8_t> data, const FieldDef& f);
// The value text of a bit group of the field that starts at `field_offset`.
std::string bit_value_text(std::span<const uint8_t> data, uint16_t field_offset, const BitDef& b);

// "Byte %d" / "Byte %d-%d" padded to 22, ": ", description padded to 71, "| ", value.
std::string byte_field_line(uint16_t offset, uint16_t width, std::string_view label, std::string_view value);
// "    [%d]Bit %d" / "    [%d]Bit %d-%d" in the same columns.
std::string byte_bit_line(uint16_t field_offset, const BitDef& b, std::string_view value);

// Clamps a requested range: end to at most `last`, start to at most end.
void clamp_range(uint32_t& start, uint32_t& end, uint32_t last);

}  // namespace tb
