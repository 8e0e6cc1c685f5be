// A file's map on Linux: the FIEMAP request of the file system holding it
// (ext4, xfs, btrfs, ntfs3...), and the start of its partition on the disk
// from sysfs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/volumes.h"

namespace tb::linuxdisk {

ExtentsStatus linux_file_extents(const std::string& path, FileExtents& out, std::string* error);

// The byte offset on its disk of the block device "/dev/sdb1" (the volume's
// native path, "/dev/sdb1 on /mnt" as the discovery writes it).
std::optional<uint64_t> linux_volume_start(const StorageAddress& volume);

}  // namespace tb::linuxdisk
