#include "platform/sim/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tb::sim {

namespace {

constexpr int kOpenFlags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

linuxdisk::UniqueFd refuse(std::string* error, const std::string& text) {
    if (error) *error = text;
    return {};
}

std::string why_not_opened(int dir_fd, const std::string& name, const std::string& shown, int err) {
    struct stat st{};
    if (err == ELOOP || (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)))
        return shown + " is a symbolic link; the simulated machine does not follow it";
    return "cannot open " + shown + ": " + std::strerror(err);
}

// The checks on a file that was already there.
bool acceptable(const struct stat& st, const std::string& shown, std::string* error) {
    auto no = [&](const std::string& text) {
        if (error) *error = text;
        return false;
    };
    if (!S_ISREG(st.st_mode)) return no(shown + " is not a regular file");
    if (st.st_uid != ::geteuid())
        return no(shown + " is owned by user " + std::to_string(st.st_uid) + ", not by user " +
                  std::to_string(::geteuid()));
    if (st.st_nlink != 1) return no(shown + " has other hard links; the simulated machine uses it only alone");
    return true;
}

}  // namespace

linuxdisk::UniqueFd open_image_file(int dir_fd, const std::string& name, const std::string& shown, uint64_t size,
                                    OtherSize other_size, std::string* error) {
    linuxdisk::UniqueFd fd(::openat(dir_fd, name.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0600));
    bool created = static_cast<bool>(fd);
    if (!created) {
        if (errno != EEXIST) return refuse(error, why_not_opened(dir_fd, name, shown, errno));
        fd.reset(::openat(dir_fd, name.c_str(), kOpenFlags));
        if (!fd) return refuse(error, why_not_opened(dir_fd, name, shown, errno));
    }
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) return refuse(error, "cannot look at " + shown + ": " + std::strerror(errno));
    if (!created && !acceptable(st, shown, error)) return {};
    // Blocking I/O from here on (O_NONBLOCK only kept a FIFO from stalling the open).
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    if (static_cast<uint64_t>(st.st_size) == size) return fd;
    if (!created && other_size == OtherSize::Refuse)
        return refuse(error, shown + " holds " + std::to_string(st.st_size) + " bytes but the disk needs " +
                                 std::to_string(size) + "; the simulated machine does not change the size of a file "
                                                        "it did not make (remove it or fix the capacity)");
    if (::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) {
        std::string why = std::strerror(errno);
        if (created) ::unlinkat(dir_fd, name.c_str(), 0);
        return refuse(error, "cannot set the size of " + shown + ": " + why);
    }
    return fd;
}

}  // namespace tb::sim
