#include "platform/host/sync_file.h"

#include <windows.h>
#include <io.h>

#include <system_error>

#include "platform/windows/host_handle.h"

namespace tb::host {

bool sync_file(std::FILE* f) {
    if (f == nullptr || std::fflush(f) != 0) return false;
    int fd = ::_fileno(f);
    if (fd < 0) return false;
    auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE) return false;
    return ::FlushFileBuffers(h) != 0;
}

bool sync_path(const std::filesystem::path& p) {
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) {
        // A folder's entries are kept in the file system's journal, and the
        // renames that change them are made with write-through; a folder that
        // can be opened has nothing left to flush.
        HostHandle dir(::CreateFileW(p.c_str(), FILE_LIST_DIRECTORY,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return static_cast<bool>(dir);
    }
    HostHandle file(::CreateFileW(p.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    return ::FlushFileBuffers(file.get()) != 0;
}

}  // namespace tb::host
