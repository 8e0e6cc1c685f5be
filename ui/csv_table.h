// A CSV file read into memory: a header row and the data rows under it.
// Fields are separated by commas; a field in double quotes may hold commas,
// line breaks and doubled quotes (""). Lines end with LF or CR LF; lines
// that hold nothing at all are skipped. Every row must have as many fields
// as the header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

using CsvRow = std::vector<std::string>;

struct CsvTable {
    CsvRow header;
    std::vector<CsvRow> rows;
};

// Why a CSV text could not be read: an error-table code and a sentence
// naming the place (row numbers count the header as row 1).
struct CsvProblem {
    int32_t code = 0;  // 0: none
    std::string text;
    explicit operator bool() const { return code != 0; }
};

// Parses `text` into `out`. An empty text (or one of blank lines only), a
// quote left open and a row whose field count differs from the header's are
// problems (code -90); `name` names the source in the text.
CsvProblem parse_csv(std::string_view text, std::string_view name, CsvTable& out);

// Reads and parses the file at `path` (a native path). A file that cannot
// be opened is a -11 problem.
CsvProblem read_csv_file(const std::string& path, CsvTable& out);

// Splits one line of fields (no line break inside quotes needed). False when
// a quote is left open.
bool split_csv_line(std::string_view line, CsvRow& out);

// The fields joined by commas, each quoted when it holds a comma, a quote or
// a line break.
std::string join_csv_row(const CsvRow& row);

}  // namespace tb
