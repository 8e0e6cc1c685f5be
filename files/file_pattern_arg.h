// The pattern argument of the file commands: a 32-bit number, or "AUTO".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tb {

// The pattern written as `text` (a decimal or 0x-hex 32-bit number, or
// "AUTO", any case, for kPatternAuto); nothing when it is neither.
std::optional<uint32_t> parse_file_pattern(std::string_view text);

}  // namespace tb
