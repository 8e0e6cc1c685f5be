#include "ui/csv_numbers.h"

#include <charconv>
#include <cmath>
#include <string>

#include "common/format.h"

namespace tb {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::optional<double> csv_number(std::string_view cell) {
    std::string_view s = trimmed(cell);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

CsvProblem column_numbers(const CsvTable& table, size_t column, std::string_view name, std::vector<double>& out) {
    out.clear();
    out.reserve(table.rows.size());
    for (size_t r = 0; r < table.rows.size(); ++r) {
        const std::string& cell = column < table.rows[r].size() ? table.rows[r][column] : std::string();
        std::optional<double> v = csv_number(cell);
        if (!v) {
            const std::string heading = column < table.header.size() ? table.header[column] : std::string();
            return {-90, fmt("%s: row %d, column %d (%s) is no number: \"%s\"", std::string(name),
                             static_cast<int>(r + 2), static_cast<int>(column + 1), heading, cell)};
        }
        out.push_back(*v);
    }
    return {};
}

}  // namespace tb
