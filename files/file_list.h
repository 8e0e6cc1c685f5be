// The files a file command works on: one file, a folder's files, or the
// files matching a name with wildcards ("*" any run of characters, "?" one
// character, compared without regard to case, as the system's own file
// names are).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tb {

bool has_wildcards(std::string_view name);
bool wildcard_match(std::string_view pattern, std::string_view name);

// The regular files directly inside `folder`, in name order (sub-folders are
// left out); empty when it holds none or is no folder.
std::vector<std::string> files_in_folder(const std::string& folder);

// The regular files whose name matches the last part of `path` (which may
// hold wildcards) in the folder of `path`, in name order. A plain name gives
// itself when it is a regular file, else nothing.
std::vector<std::string> files_matching(const std::string& path);

}  // namespace tb
