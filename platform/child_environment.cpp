#include "platform/child_environment.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tb {

namespace {

// The name of an entry with its '=' ("=C:=C:\x" keeps its leading '=' in the name).
std::string_view name_of(std::string_view entry) {
    const size_t eq = entry.find('=', 1);
    return entry.substr(0, eq == std::string_view::npos ? entry.size() : eq + 1);
}

bool same_name(std::string_view a, std::string_view b, bool ignore_case) {
    if (a.size() != b.size()) return false;
    if (!ignore_case) return a == b;
    return std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::vector<std::string> merged_environment(const std::vector<std::string>& current,
                                            const std::vector<std::string>& overrides, bool names_ignore_case) {
    std::vector<std::string> env;
    auto overridden = [&](const std::string& entry) {
        return std::any_of(overrides.begin(), overrides.end(), [&](const std::string& o) {
            return same_name(name_of(o), name_of(entry), names_ignore_case);
        });
    };
    for (const auto& e : current)
        if (!overridden(e)) env.push_back(e);
    env.insert(env.end(), overrides.begin(), overrides.end());
    return env;
}

}  // namespace tb
