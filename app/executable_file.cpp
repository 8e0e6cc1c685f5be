#include "app/executable_file.h"

#include <filesystem>

#include "platform/host/file_position.h"
#include "platform/host/open_file.h"
#include "platform/paths.h"

namespace tb {

std::optional<ExecutableFile> ExecutableFile::open(const std::string& path) {
    const std::filesystem::path file = fs_path(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    const uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) return std::nullopt;
    std::FILE* f = host::open_file(file, "rb");
    if (f == nullptr) return std::nullopt;
    return ExecutableFile(f, static_cast<uint64_t>(size));
}

bool ExecutableFile::read(uint64_t pos, void* out, size_t count) const {
    if (pos > size_ || count > size_ - pos) return false;
    if (count == 0) return true;
    return host::seek_file(file_.get(), pos) && std::fread(out, 1, count, file_.get()) == count;
}

bool ExecutableFile::read_table(uint64_t offset, uint64_t count, uint64_t entsize, uint64_t max_bytes,
                                std::vector<unsigned char>& table) const {
    if (entsize != 0 && count > max_bytes / entsize) return false;
    const uint64_t bytes = count * entsize;
    if (bytes > max_bytes || offset > size_ || bytes > size_ - offset) return false;
    table.resize(static_cast<size_t>(bytes));
    return read(offset, table.data(), table.size());
}

}  // namespace tb
