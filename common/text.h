// Text helpers. Text is kept as UTF-8 inside the program; where the system
// counts characters (field limits, StrLen, log-line width) it counts UTF-16
// code units, as the result files and limits are defined in those units.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

std::u16string to_utf16(std::string_view utf8);
std::string to_utf8(std::u16string_view utf16);

// Number of UTF-16 code units the UTF-8 text occupies.
size_t utf16_length(std::string_view utf8);
// The longest prefix of the text that fits in `units` UTF-16 code units.
std::string utf16_truncate(std::string_view utf8, size_t units);
// UTF-16 based substring: code units [start, end).
std::string utf16_substr(std::string_view utf8, size_t start, size_t end);

// ASCII case folding; the script language compares names and keywords this way.
char ascii_lower(char c);
char ascii_upper(char c);
std::string to_lower(std::string_view s);
std::string to_upper(std::string_view s);
bool iequals(std::string_view a, std::string_view b);
bool istarts_with(std::string_view s, std::string_view prefix);
// Case-insensitive find; npos when absent.
size_t ifind(std::string_view hay, std::string_view needle, size_t from = 0);
inline bool icontains(std::string_view hay, std::string_view needle) {
    return ifind(hay, needle) != std::string_view::npos;
}
// Replace every case-insensitive occurrence of `from` by `to`.
std::string ireplace_all(std::string_view s, std::string_view from, std::string_view to);
std::string replace_all(std::string_view s, std::string_view from, std::string_view to);

// Trim the given characters (blank and tab by default) at both ends.
std::string_view trim_view(std::string_view s, std::string_view chars = " \t");
inline std::string trim(std::string_view s, std::string_view chars = " \t") {
    return std::string(trim_view(s, chars));
}

// Split at every occurrence of `sep`, keeping empty items.
std::vector<std::string> split(std::string_view s, char sep);

}  // namespace tb
