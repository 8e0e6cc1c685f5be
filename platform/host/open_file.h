// Opening a C stream on a file named by a file-system path (the wide name
// on Windows, so that any character of a file name works).
#pragma once

#include <cstdio>
#include <filesystem>

namespace tb::host {

// std::fopen with a path; nullptr when the file cannot be opened.
std::FILE* open_file(const std::filesystem::path& path, const char* mode);

}  // namespace tb::host
