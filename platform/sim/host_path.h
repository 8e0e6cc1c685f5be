// The simulated machine names its files in UTF-8 text; the host's file
// system takes native paths (UTF-16 on Windows).
#pragma once

#include <filesystem>
#include <string>

namespace tb::sim {

inline std::filesystem::path host_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8_text(const std::filesystem::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Whether `c` separates the parts of a path on this system.
inline bool is_path_separator(char c) { return c == '/' || c == std::filesystem::path::preferred_separator; }

}  // namespace tb::sim
