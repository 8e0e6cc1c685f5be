// Masks what may differ between two runs of the same script on two systems
// or at two times: the run's own folders, times of day, dates, temperatures
// and measured figures (speeds, transfer times, latency counts). What is
// left must be the same on both.
#pragma once

#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace tb::test {

inline void replace_all(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// Lines holding figures that are measured, not computed.
inline bool is_measured_line(const std::string& line) {
    for (const char* key : {"MBps", "IOps", "Time(ms)", "Temperature", "KBPs", "TComposite", "Elapsed"})
        if (line.find(key) != std::string::npos) return true;
    return false;
}

// Every number of `line` (decimal or 0x hexadecimal, with the blanks that
// align it) as " #".
inline std::string numbers_masked(const std::string& line) {
    static const std::regex number("[ ]*[0-9][0-9A-Fa-fx.]*");
    return std::regex_replace(line, number, " #");
}

struct MaskRules {
    // Texts to replace, longest first (folder paths of the run, as the
    // program printed them); backslashes are read as slashes before.
    std::vector<std::pair<std::string, std::string>> names;
    bool mask_all_numbers = false;  // a file of measured figures only
};

// `text` with CR LF read as LF, '\' as '/', the named texts, times of day,
// dates and time stamps replaced, and the numbers of measured lines masked.
inline std::string masked(std::string text, const MaskRules& rules) {
    replace_all(text, "\r\n", "\n");
    replace_all(text, "&nbsp;", " ");
    for (char& c : text)
        if (c == '\\') c = '/';
    for (const auto& [from, to] : rules.names) replace_all(text, from, to);
    static const std::regex stamp("[0-9]{8}[-_][0-9]{6}(-[0-9]+-[0-9]+)?");
    static const std::regex time_of_day("[0-9]{1,2}:[0-9]{2}:[0-9]{2}");
    static const std::regex date("[0-9]{4}[/-][0-9]{1,2}[/-][0-9]{1,2}");
    text = std::regex_replace(text, stamp, "<stamp>");
    text = std::regex_replace(text, time_of_day, "<time>");
    text = std::regex_replace(text, date, "<date>");

    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        out += rules.mask_all_numbers || is_measured_line(line) ? numbers_masked(line) : line;
        if (end < text.size()) out += '\n';
        start = end + 1;
    }
    return out;
}

// A CSV series: the header and every row's first column (the amount moved)
// kept, the measured columns masked.
inline std::string masked_csv(const std::string& text) {
    std::string out;
    size_t start = 0;
    bool header = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (header) {
            out += line + '\n';
            header = false;
        } else {
            const size_t comma = line.find(',');
            out += line.substr(0, comma) + (comma == std::string::npos ? "" : numbers_masked(line.substr(comma))) + '\n';
        }
        start = end + 1;
    }
    return out;
}

}  // namespace tb::test
