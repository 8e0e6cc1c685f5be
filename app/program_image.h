// How many bytes of an executable file its own image occupies (ELF on Linux,
// PE on Windows; both are recognised by their bytes on either system). Bytes
// after that are something appended to the program (the package), so a file
// longer than its image carries data that a loader did not put there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tb {

// The image size of an ELF or PE file; nothing when the file is neither or
// its headers cannot be read.
std::optional<uint64_t> program_image_size(const std::string& path);

}  // namespace tb
