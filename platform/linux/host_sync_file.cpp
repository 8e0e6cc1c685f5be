#include "platform/host/sync_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/unique_fd.h"

namespace tb::host {

bool sync_file(std::FILE* f) {
    if (f == nullptr || std::fflush(f) != 0) return false;
    int fd = ::fileno(f);
    return fd >= 0 && ::fsync(fd) == 0;
}

bool sync_path(const std::filesystem::path& p) {
    // Read-only opens work for folders as well as files; fsync needs no more.
    linuxdisk::UniqueFd fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    return ::fsync(fd.get()) == 0;
}

}  // namespace tb::host
