// The size of a regular file, and whether a name is a folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tb {

// Nothing when `path` is no regular file (missing, a folder) or its size cannot be read.
std::optional<uint64_t> file_size_of(const std::string& path);

bool is_folder(const std::string& path);

}  // namespace tb
