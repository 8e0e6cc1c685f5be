// The folder for the program's temporary files.
#pragma once

#include <filesystem>

namespace tb::host {

// The user's temporary folder ($TMPDIR or /tmp; the user's temp path on
// Windows).
std::filesystem::path temp_folder();

}  // namespace tb::host
