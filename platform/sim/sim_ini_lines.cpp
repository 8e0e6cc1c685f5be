#include "platform/sim/sim_ini_lines.h"

#include "common/text.h"

namespace tb::sim {

namespace {

std::string without_comment(const std::string& v) {
    for (size_t i = 0; i < v.size(); ++i) {
        if ((v[i] == ';' || v[i] == '#') && (i == 0 || v[i - 1] == ' ' || v[i - 1] == '\t'))
            return trim(v.substr(0, i));
    }
    return trim(v);
}

std::string unquoted(std::string v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return v;
}

bool fail(IniLinesError& error, int line, std::string reason) {
    error.line = line;
    error.reason = std::move(reason);
    return false;
}

}  // namespace

bool read_ini_lines(const std::string& text, std::vector<IniSection>& sections, IniLinesError& error) {
    sections.clear();
    size_t pos = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    for (int number = 1; pos <= text.size(); ++number) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = trim(text.substr(pos, end - pos), " \t\r");  // with the CR of a CRLF
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            line = without_comment(line);
            if (line.size() < 2 || line.back() != ']') return fail(error, number, "a section header ends with ]");
            sections.push_back({trim(line.substr(1, line.size() - 2)), number, {}});
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) return fail(error, number, "expected key = value or [section]");
        std::string key = trim(line.substr(0, eq));
        if (key.empty()) return fail(error, number, "a key is missing before =");
        if (sections.empty()) return fail(error, number, key + " stands outside a section");
        for (const auto& e : sections.back().entries) {
            if (iequals(e.key, key))
                return fail(error, number, key + " given twice (first on line " + std::to_string(e.line) + ")");
        }
        sections.back().entries.push_back({key, unquoted(without_comment(line.substr(eq + 1))), number});
    }
    return true;
}

}  // namespace tb::sim
