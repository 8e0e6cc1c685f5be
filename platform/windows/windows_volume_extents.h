// A file's map on Windows: the file system's retrieval pointers, placed on
// the disk with the volume's cluster size and its physical start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/volumes.h"

namespace tb::windisk {

ExtentsStatus windows_file_extents(const std::string& path, FileExtents& out, std::string* error);

// The byte offset on its disk of the volume "\\.\D:".
std::optional<uint64_t> windows_volume_start(const StorageAddress& volume);

}  // namespace tb::windisk
