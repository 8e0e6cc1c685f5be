// How many bytes of an executable file its own ELF image occupies: the end
// of the furthest header table, segment or section. Bytes after that are
// something appended to the program (the package), so a file longer than
// its image carries data that a loader did not put there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tb {

// The image size of an ELF file (32 or 64 bit, either byte order); nothing
// when the file is not ELF or its headers cannot be read.
std::optional<uint64_t> program_image_size(const std::string& path);

}  // namespace tb
