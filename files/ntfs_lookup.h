// From a path inside the volume to its file record, directory by directory
// from the root.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "files/ntfs_volume.h"

namespace tb::ntfs {

enum class LookupResult { Found, NotFound, Failed };

// The parts of a path inside a volume: "\dir\file", "dir/file" and
// "D:\dir\file" all give {"dir", "file"}.
std::vector<std::string> path_parts(const std::string& path);

// The part of `path` below the volume's root folder `root` (as the volumes
// seam names it); `path` itself when it does not lie below `root` (a "D:\..."
// path, or one already inside the volume).
std::string path_inside_volume(const std::string& path, const std::string& root);

// Finds the record of `parts` from the root directory; `step` (may be
// empty) hears each part looked for and the record found for it. Names are
// matched exactly, else without regard to ASCII case.
LookupResult find_record(Volume& volume, const std::vector<std::string>& parts, uint64_t& record, std::string& error,
                         const std::function<void(const std::string& part, uint64_t found)>& step = {});

}  // namespace tb::ntfs
