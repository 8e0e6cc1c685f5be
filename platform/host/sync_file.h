// Writing a file's data through to the medium.
#pragma once

#include <cstdio>
#include <filesystem>

namespace tb::host {

// Flushes the stream's buffer and then the system's cache of the file.
bool sync_file(std::FILE* f);

// Flushes the system's cache of the file at `p` (opened for the purpose).
bool sync_path(const std::filesystem::path& p);

}  // namespace tb::host
