// The bytes a Windows (PE) program file's own image occupies: the end of the
// furthest of its headers, sections, certificate table and symbol table.
#pragma once

#include <cstdint>
#include <optional>

#include "app/executable_file.h"

namespace tb {

// Whether the file begins like a DOS/PE program ("MZ").
bool looks_like_pe(const unsigned char* head, size_t size);

// The image size of a PE32 or PE32+ file; nothing when its headers cannot be
// read or do not make sense.
std::optional<uint64_t> pe_image_size(const ExecutableFile& file);

}  // namespace tb
