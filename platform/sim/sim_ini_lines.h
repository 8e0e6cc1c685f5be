// The lines of a simulated machine file: "[section]" headers and
// "key = value" entries, each with its line number. Blank lines and lines
// starting with ';' or '#' are comments; a ';' or '#' after a blank starts a
// comment at the end of a value; one pair of enclosing double quotes is taken
// off a value. Anything else is refused with its line number.
#pragma once

#include <string>
#include <vector>

namespace tb::sim {

struct IniEntry {
    std::string key;
    std::string value;
    int line = 0;
};

struct IniSection {
    std::string name;  // trimmed, as written
    int line = 0;
    std::vector<IniEntry> entries;
};

struct IniLinesError {
    int line = 0;
    std::string reason;
};

// Splits `text` into its sections; false with the first bad line in `error`.
// A key given twice in one section (letter case aside) is refused too.
bool read_ini_lines(const std::string& text, std::vector<IniSection>& sections, IniLinesError& error);

}  // namespace tb::sim
