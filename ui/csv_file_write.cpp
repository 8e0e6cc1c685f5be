#include "ui/csv_file_write.h"

#include <filesystem>
#include <system_error>

#include "common/file_handle.h"
#include "platform/host/replace_file.h"
#include "platform/paths.h"

namespace tb {

bool write_csv_atomically(const std::string& path, std::string_view text, std::string& error) {
    const std::string partial = path + ".partial";
    if (!write_file_bytes(partial, text)) {
        error = "cannot write " + partial;
        std::error_code ec;
        std::filesystem::remove(fs_path(partial), ec);
        return false;
    }
    if (!host::replace_file(fs_path(partial), fs_path(path), &error)) {
        std::error_code ec;
        std::filesystem::remove(fs_path(partial), ec);
        return false;
    }
    return true;
}

}  // namespace tb
