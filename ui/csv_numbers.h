// The numbers of a CSV column: every cell of the column read as a decimal
// number (an optional sign, digits, a decimal point, an exponent; blanks
// around it are ignored). An empty cell or any other text is refused with
// the place it was found.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "ui/csv_table.h"

namespace tb {

// The value of one cell, or nullopt when it is no number.
std::optional<double> csv_number(std::string_view cell);

// The values of column `column` (0 is the first) of every data row. A cell
// that is no number is a -90 problem naming its row (the header is row 1),
// its column (counted from 1, with the header's name) and its text.
CsvProblem column_numbers(const CsvTable& table, size_t column, std::string_view name, std::vector<double>& out);

}  // namespace tb
