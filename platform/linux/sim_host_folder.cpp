#include "platform/sim/host_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tb::sim {

namespace {

constexpr int kFileFlags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
constexpr mode_t kPrivateFileMode = 0600;
constexpr mode_t kPrivateFolderMode = 0700;

int dir_fd(const HostFolder* in) { return in ? static_cast<int>(in->handle.handle()) : AT_FDCWD; }

bool is_link(const HostFolder* in, const std::string& name) {
    struct stat st{};
    return ::fstatat(dir_fd(in), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

OpenStatus not_opened(const HostFolder* in, const std::string& name, int err, std::string* why) {
    if (err == ELOOP || is_link(in, name)) return OpenStatus::Link;
    if (why) *why = std::strerror(err);
    return OpenStatus::Failed;
}

// Blocking I/O from here on (O_NONBLOCK only kept a FIFO from stalling the open).
OpenStatus opened(int fd, HostFile& out) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    out.reset(fd);
    return OpenStatus::Opened;
}

}  // namespace

OpenStatus create_private_file(const HostFolder* in, const std::string& name, HostFile& out, std::string* why) {
    int fd = ::openat(dir_fd(in), name.c_str(), kFileFlags | O_CREAT | O_EXCL, kPrivateFileMode);
    if (fd >= 0) return opened(fd, out);
    if (errno == EEXIST) return OpenStatus::Exists;
    return not_opened(in, name, errno, why);
}

OpenStatus open_existing_file(const HostFolder* in, const std::string& name, HostFile& out, std::string* why) {
    int fd = ::openat(dir_fd(in), name.c_str(), kFileFlags);
    if (fd >= 0) return opened(fd, out);
    return not_opened(in, name, errno, why);
}

void remove_folder_entry(const HostFolder* in, const std::string& name) { ::unlinkat(dir_fd(in), name.c_str(), 0); }

OpenStatus open_private_folder(const HostFolder* in, const std::string& name, HostFolder& out, std::string* why) {
    if (::mkdirat(dir_fd(in), name.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) {
        if (why) *why = std::strerror(errno);
        return OpenStatus::CannotCreate;
    }
    int fd = ::openat(dir_fd(in), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return not_opened(in, name, errno, why);
    out.handle.reset(fd);
    out.path = in ? in->path_of(name) : name;
    return OpenStatus::Opened;
}

bool make_parent_folders(const std::string& path, std::string* why) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        std::string parent = path.substr(0, i);
        if (::mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) {
            if (why) *why = std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace tb::sim
