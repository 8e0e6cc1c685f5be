// Folders that only the user running the program controls.
#pragma once

#include <filesystem>

namespace tb::host {

// Makes a new folder that only this user may use. False when the name exists
// already (as anything, links included) or the folder cannot be made.
bool create_private_folder(const std::filesystem::path& path);

// Whether `path` is a real folder (not a link) owned by this user.
bool is_own_folder(const std::filesystem::path& path);

}  // namespace tb::host
