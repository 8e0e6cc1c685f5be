#include "app/program_image.h"

#include <algorithm>

#include "app/elf_image.h"
#include "app/executable_file.h"
#include "app/pe_image.h"

namespace tb {

std::optional<uint64_t> program_image_size(const std::string& path) {
    std::optional<ExecutableFile> file = ExecutableFile::open(path);
    if (!file) return std::nullopt;
    unsigned char head[4] = {};
    const size_t got = static_cast<size_t>(std::min<uint64_t>(sizeof head, file->size()));
    if (!file->read(0, head, got)) return std::nullopt;
    if (looks_like_elf(head, got)) return elf_image_size(*file);
    if (looks_like_pe(head, got)) return pe_image_size(*file);
    return std::nullopt;
}

}  // namespace tb
