#include "platform/linux/host_files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/unique_fd.h"

namespace tb::linuxdisk {

namespace {

class HostNewFile final : public NewFile {
public:
    explicit HostNewFile(UniqueFd fd) : fd_(std::move(fd)) {}
    bool write_at(uint64_t offset, std::span<const uint8_t> bytes) override {
        ssize_t n = ::pwrite(fd_.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        return n == static_cast<ssize_t>(bytes.size());
    }
    bool finish() override { return ::fsync(fd_.get()) == 0; }

private:
    UniqueFd fd_;
};

// Compression off, so that the file's bytes take real space on the medium.
void compression_off(int fd) {
    int attr = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &attr) == 0 && (attr & FS_COMPR_FL)) {
        attr &= ~FS_COMPR_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &attr);
    }
}

}  // namespace

uint64_t host_free_bytes(const std::string& folder) {
    struct statvfs st{};
    if (folder.empty() || ::statvfs(folder.c_str(), &st) != 0) return 0;
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

std::unique_ptr<NewFile> create_host_file(const std::string& path) {
    int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    UniqueFd fd(::open(path.c_str(), flags | O_DIRECT, 0644));
    if (!fd && errno == EINVAL) fd = UniqueFd(::open(path.c_str(), flags, 0644));  // no unbuffered I/O here
    if (!fd) return nullptr;
    compression_off(fd.get());
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<HostNewFile>(std::move(fd));
}

bool remove_host_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace tb::linuxdisk
