// A CSV table as aligned text lines: the header, a rule under it and the
// first rows, each cell padded to its column's width (numbers to the right
// except in the first column, other text to the left) and cut with "~"
// beyond kCellChars characters.
#pragma once

#include <string>
#include <vector>

#include "ui/csv_table.h"

namespace tb {

constexpr size_t kTableRowsShown = 50;
constexpr size_t kCellChars = 20;

// The header line, the rule and at most `rows` data rows.
std::vector<std::string> table_text_lines(const CsvTable& table, size_t rows = kTableRowsShown);

}  // namespace tb
