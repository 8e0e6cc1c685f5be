// Which file system a partition holds, told from its first bytes: the
// signatures of NTFS, exFAT, FAT and the ext family.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tb {

// Bytes of a partition's start the probe looks at.
constexpr size_t kFileSystemProbeBytes = 4096;

// "NTFS", "EXFAT", "FAT32", "FAT16", "FAT12", "EXT4", "EXT3", "EXT2"; empty
// when none of them is there (or fewer bytes than needed were given).
std::string probe_file_system(std::span<const uint8_t> start);

}  // namespace tb
