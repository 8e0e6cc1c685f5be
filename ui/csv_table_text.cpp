#include "ui/csv_table_text.h"

#include <algorithm>

#include "ui/csv_numbers.h"

namespace tb {

namespace {

constexpr std::string_view kGap = "  ";

size_t code_points(std::string_view s) {
    size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

// The cell cut to kCellChars code points, a cut one ending in "~"; line
// breaks inside a quoted cell become blanks.
std::string shown_cell(std::string_view cell) {
    std::string out;
    size_t points = 0;
    for (size_t i = 0; i < cell.size(); ++i) {
        const char c = cell[i];
        const bool starts_point = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (starts_point && ++points > kCellChars) {
            // Replace the last shown code point by the cut mark.
            size_t back = out.size();
            while (back > 0 && (static_cast<unsigned char>(out[back - 1]) & 0xC0) == 0x80) --back;
            if (back > 0) --back;
            out.resize(back);
            out += '~';
            return out;
        }
        out += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    }
    return out;
}

std::string padded(const std::string& cell, size_t width, bool right) {
    const std::string fill(width - std::min(width, code_points(cell)), ' ');
    return right ? fill + cell : cell + fill;
}

std::string joined(const std::vector<std::string>& cells, const std::vector<size_t>& widths, bool numbers_right) {
    std::string line;
    for (size_t c = 0; c < cells.size(); ++c) {
        if (c) line += kGap;
        // The first column stays to the left: console lines lose their leading blanks.
        line += padded(cells[c], widths[c], numbers_right && c > 0 && csv_number(cells[c]).has_value());
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

std::vector<std::string> table_text_lines(const CsvTable& table, size_t rows) {
    const size_t shown = std::min(rows, table.rows.size());
    std::vector<std::vector<std::string>> cells;
    cells.reserve(shown + 1);
    for (size_t r = 0; r <= shown; ++r) {
        const CsvRow& source = r == 0 ? table.header : table.rows[r - 1];
        std::vector<std::string> line;
        for (const std::string& cell : source) line.push_back(shown_cell(cell));
        cells.push_back(std::move(line));
    }
    std::vector<size_t> widths(table.header.size(), 0);
    for (const auto& line : cells)
        for (size_t c = 0; c < line.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], code_points(line[c]));
    std::vector<std::string> out;
    out.push_back(joined(cells[0], widths, false));
    std::string rule;
    for (size_t c = 0; c < widths.size(); ++c) {
        if (c) rule += kGap;
        rule += std::string(std::max<size_t>(widths[c], 1), '-');
    }
    out.push_back(rule);
    for (size_t r = 1; r < cells.size(); ++r) out.push_back(joined(cells[r], widths, true));
    return out;
}

}  // namespace tb
