#include "files/file_pattern_arg.h"

#include <charconv>

#include "common/text.h"
#include "workload/pattern.h"

namespace tb {

std::optional<uint32_t> parse_file_pattern(std::string_view text) {
    std::string_view t = trim_view(text);
    if (iequals(t, "AUTO")) return kPatternAuto;
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value, base);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    return value;
}

}  // namespace tb
