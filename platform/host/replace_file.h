// Atomic replacement of one file by another.
#pragma once

#include <filesystem>
#include <string>

namespace tb::host {

// Renames `from` to `to`, replacing an existing `to` in one step. On failure
// returns false and, when `error` is given, sets it to the system's reason.
bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to,
                  std::string* error);

}  // namespace tb::host
