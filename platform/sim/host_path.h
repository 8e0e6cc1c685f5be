// The simulated machine names its files in UTF-8 text; the host's file
// system takes native paths (UTF-16 on Windows). Back to text: utf8_path
// of platform/paths.h.
#pragma once

#include <filesystem>
#include <string>

#include "platform/paths.h"

namespace tb::sim {

inline std::filesystem::path host_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Whether `c` separates the parts of a path on this system.
inline bool is_path_separator(char c) { return c == '/' || c == std::filesystem::path::preferred_separator; }

}  // namespace tb::sim
