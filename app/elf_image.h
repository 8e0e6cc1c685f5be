// The bytes an ELF program file's own image occupies: the end of the
// furthest header table, segment or section.
#pragma once

#include <cstdint>
#include <optional>

#include "app/executable_file.h"

namespace tb {

// Whether the file begins like an ELF file.
bool looks_like_elf(const unsigned char* head, size_t size);

// The image size of an ELF file (32 or 64 bit, either byte order); nothing
// when its headers cannot be read or do not make sense.
std::optional<uint64_t> elf_image_size(const ExecutableFile& file);

}  // namespace tb
