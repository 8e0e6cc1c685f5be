#include "platform/host/confined_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/unique_fd.h"

namespace tb::host {

using linuxdisk::UniqueFd;

namespace {

class LinuxConfinedFile final : public ConfinedFile {
public:
    LinuxConfinedFile(UniqueFd folder, int fd, std::string leaf)
        : folder_(std::move(folder)), fd_(fd), leaf_(std::move(leaf)) {}
    ~LinuxConfinedFile() override {
        if (fd_ >= 0) discard();
    }
    LinuxConfinedFile(const LinuxConfinedFile&) = delete;
    LinuxConfinedFile& operator=(const LinuxConfinedFile&) = delete;

    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            ssize_t n = ::write(fd_, data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bool finish(unsigned mode, std::int64_t mtime) override {
        if (fd_ < 0) return false;
        ::fchmod(fd_, static_cast<mode_t>(mode));
        if (mtime > 0) {
            struct timespec times[2];
            times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(mtime);
            times[0].tv_nsec = times[1].tv_nsec = 0;
            ::futimens(fd_, times);
        }
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) == 0) return true;
        ::unlinkat(folder_.get(), leaf_.c_str(), 0);
        return false;
    }

private:
    void discard() {
        ::close(fd_);
        fd_ = -1;
        ::unlinkat(folder_.get(), leaf_.c_str(), 0);
    }

    UniqueFd folder_;
    int fd_;
    std::string leaf_;
};

}  // namespace

struct ConfinedFolder::Impl {
    UniqueFd root;

    // Opens the folder chain below the root, making missing parts when asked.
    UniqueFd walk(const std::vector<std::string>& folders, bool make) const {
        UniqueFd dir(::dup(root.get()));
        if (!dir) return dir;
        for (const std::string& part : folders) {
            if (make && ::mkdirat(dir.get(), part.c_str(), 0755) != 0 && errno != EEXIST) return UniqueFd();
            UniqueFd next(::openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!next) return next;
            dir = std::move(next);
        }
        return dir;
    }
};

ConfinedFolder::ConfinedFolder(const std::filesystem::path& root) : impl_(std::make_unique<Impl>()) {
    impl_->root = UniqueFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

ConfinedFolder::~ConfinedFolder() = default;

bool ConfinedFolder::is_open() const { return static_cast<bool>(impl_->root); }

bool ConfinedFolder::make_folders(const std::vector<std::string>& folders) const {
    return is_open() && static_cast<bool>(impl_->walk(folders, true));
}

std::unique_ptr<ConfinedFile> ConfinedFolder::create_file(const std::vector<std::string>& folders,
                                                          const std::string& leaf) const {
    if (!is_open()) return nullptr;
    UniqueFd dir = impl_->walk(folders, true);
    if (!dir) return nullptr;
    const int fd = ::openat(dir.get(), leaf.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    return std::make_unique<LinuxConfinedFile>(std::move(dir), fd, leaf);
}

}  // namespace tb::host
