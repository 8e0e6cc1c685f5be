#include "files/file_size.h"

#include <filesystem>

#include "platform/paths.h"

namespace tb {

std::optional<uint64_t> file_size_of(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p = fs_path(path);
    if (!std::filesystem::is_regular_file(p, ec)) return std::nullopt;
    const uintmax_t size = std::filesystem::file_size(p, ec);
    if (ec) return std::nullopt;
    return static_cast<uint64_t>(size);
}

bool is_folder(const std::string& path) { return folder_exists(path); }

}  // namespace tb
