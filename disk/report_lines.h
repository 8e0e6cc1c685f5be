// The lines of a decoded report before they reach the job log, and the one
// writer every report command uses: it checks the job's cancel flag before
// each line, so a long report stops promptly.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/job_log.h"

namespace tb {

struct ReportLine {
    std::string text;
    uint32_t colour = colour::kWhite;
};
using ReportLines = std::vector<ReportLine>;

inline void add_line(ReportLines& out, std::string text, uint32_t c = colour::kWhite) {
    out.push_back({std::move(text), c});
}

// Writes the lines in order (size 10, normal format). When the cancel flag is
// set before a line, "---- Cancel Command ----" ends the report and the
// result is false.
bool write_report(int slot, const ReportLines& lines);

// "%02X " per byte, stopped once the text is longer than `max_chars`.
std::string hex_bytes_text(std::span<const uint8_t> bytes, size_t max_chars = 512);

// Printable ASCII of a text field: NULs and trailing blanks dropped,
// other bytes outside 0x20..0x7E shown as '.'.
std::string ascii_field(std::span<const uint8_t> bytes);

// Bits hi..lo of the little-endian field that starts at data[0]; groups
// wider than 64 bits give their low 64 bits.
uint64_t field_bits(std::span<const uint8_t> field, unsigned hi, unsigned lo);

// Little-endian unsigned value of up to 8 bytes.
uint64_t le_value(std::span<const uint8_t> bytes);

// `Items` as the report commands read it: upper-cased, blanks removed and
// wrapped in bars ("|MN|SN|"); empty stays empty.
std::string normalise_items(std::string_view items);
// Whether `key` (written with its bars, "|MN|") is chosen by normalised items.
inline bool item_chosen(const std::string& items, std::string_view key) {
    return items.find(key) != std::string::npos;
}

// Stores a report's chosen values: several (joined by commas) as an array
// text, one as a hexadecimal number when it reads as one ("0x..."), else as
// a decimal number, else as text without its quotes.
void set_items_result(int slot, const std::string& name, const std::vector<std::string>& values);

}  // namespace tb
