#include "platform/sim/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tb::sim {

namespace {

constexpr mode_t kPrivateMode = 0700;

void fail(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// Creates the missing folders above `path` (the last one is left to the caller).
bool make_parents(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        std::string parent = path.substr(0, i);
        if (::mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Opens `name` below `dir_fd` as a folder without following a symbolic link
// there, creating it first when missing, and checks who may use it.
linuxdisk::UniqueFd open_checked(int dir_fd, const std::string& name, const std::string& shown, std::string* error) {
    if (::mkdirat(dir_fd, name.c_str(), kPrivateMode) != 0 && errno != EEXIST) {
        fail(error, "cannot create the folder " + shown + ": " + std::strerror(errno));
        return {};
    }
    linuxdisk::UniqueFd fd(::openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        struct stat st{};
        bool link = ::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        fail(error, "the folder " + shown + (link ? " is a symbolic link" : " cannot be opened: " +
                                                                     std::string(std::strerror(errno))));
        return {};
    }
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) {
        fail(error, "cannot look at the folder " + shown + ": " + std::strerror(errno));
        return {};
    }
    if (st.st_uid != ::geteuid()) {
        fail(error, "the folder " + shown + " is owned by user " + std::to_string(st.st_uid) + ", not by user " +
                        std::to_string(::geteuid()) + "; remove it or choose another folder");
        return {};
    }
    if ((st.st_mode & 0077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        fail(error, "the folder " + shown + " has mode " + mode + "; it must be private to its owner (0700)");
        return {};
    }
    return fd;
}

}  // namespace

std::unique_ptr<PrivateFolder> PrivateFolder::open(const std::string& path_in, std::string* error) {
    std::string path = path_in;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty() || path == "/") {
        fail(error, "no folder for the simulated machine's files");
        return nullptr;
    }
    if (!make_parents(path)) {
        fail(error, "cannot create the folders above " + path + ": " + std::strerror(errno));
        return nullptr;
    }
    auto fd = open_checked(AT_FDCWD, path, path, error);
    if (!fd) return nullptr;
    return std::unique_ptr<PrivateFolder>(new PrivateFolder(path, std::move(fd)));
}

bool PrivateFolder::ensure_subfolder(const std::string& name, std::string* error) const {
    return static_cast<bool>(open_checked(fd(), name, path_of(name), error));
}

}  // namespace tb::sim
