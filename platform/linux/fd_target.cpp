#include "platform/linux/fd_target.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/format.h"
#include "platform/linux/uring_queue.h"

namespace tb {

namespace {

// The fd shared by all queues of one target.
class SharedFd {
public:
    explicit SharedFd(int fd) : fd_(fd) {}
    SharedFd(const SharedFd&) = delete;
    SharedFd& operator=(const SharedFd&) = delete;
    ~SharedFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

// Trims are synchronous everywhere: a discard on a block device, a punched
// hole in a file.
int32_t trim_range(int fd, bool block, uint64_t offset, uint32_t length) {
    if (block) {
        uint64_t range[2] = {offset, length};
        return ::ioctl(fd, BLKDISCARD, range) == 0 ? static_cast<int32_t>(length) : -errno;
    }
    return ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                       static_cast<off_t>(length)) == 0
               ? static_cast<int32_t>(length)
               : -errno;
}

namespace {

int32_t sync_request(int fd, bool block, const IoRequest& r) {
    switch (r.op) {
    case IoOp::Read: {
        ssize_t n = ::pread(fd, r.data, r.length, static_cast<off_t>(r.offset));
        return n < 0 ? -errno : static_cast<int32_t>(n);
    }
    case IoOp::Write: {
        iovec v{r.data, r.length};
        ssize_t n = ::pwritev2(fd, &v, 1, static_cast<off_t>(r.offset), r.fua ? RWF_DSYNC : 0);
        return n < 0 ? -errno : static_cast<int32_t>(n);
    }
    case IoOp::Trim:
        return trim_range(fd, block, r.offset, r.length);
    case IoOp::Flush:
        return ::fdatasync(fd) == 0 ? 0 : -errno;
    }
    return -EINVAL;
}

// Synchronous positioned I/O: every request runs inside submit(); its
// completion is reported by the next poll(), so that it is timed like any
// other.
class PositionedQueue final : public IoQueue {
public:
    PositionedQueue(int fd, bool block) : fd_(fd), block_(block) {}
    SubmitResult submit(const IoRequest& r) override {
        done_.push_back({r.tag, sync_request(fd_, block_, r)});
        return {SubmitStatus::Pending, 0};
    }
    size_t poll(std::span<IoCompletion> out) override {
        size_t n = std::min(out.size(), done_.size());
        for (size_t i = 0; i < n; ++i) out[i] = done_[i];
        done_.erase(done_.begin(), done_.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }
    size_t wait(std::span<IoCompletion> out, uint32_t) override { return poll(out); }
    void cancel(uint64_t) override {}

private:
    int fd_;
    bool block_;
    std::vector<IoCompletion> done_;
};


class FdTarget final : public IoTarget {
public:
    FdTarget(int fd, std::string path, bool block, bool direct, bool uring, uint64_t size, uint32_t sector)
        : fd_(fd), path_(std::move(path)), block_(block), direct_(direct), uring_(uring), size_(size), sector_(sector) {}

    uint64_t size_bytes() const override { return size_; }
    uint32_t sector_size() const override { return sector_; }

    std::unique_ptr<IoQueue> make_queue(uint32_t depth, std::span<uint8_t> buffer) override {
        if (uring_)
            if (auto q = make_uring_queue(fd_.get(), block_, depth, buffer)) return q;
        return std::make_unique<PositionedQueue>(fd_.get(), block_);
    }

    std::string describe() const override {
        return fmt("%s (%s%s)", path_, uring_ && uring_available() ? "io_uring" : "pread/pwrite",
                   direct_ ? ", O_DIRECT" : ", buffered");
    }

private:
    SharedFd fd_;
    std::string path_;
    bool block_;
    bool direct_;
    bool uring_;
    uint64_t size_;
    uint32_t sector_;
};

}  // namespace

std::unique_ptr<IoTarget> open_fd_target(const std::string& path, std::string* error, const PathOptions& options) {
    int flags = O_RDWR | O_CLOEXEC;
    bool direct = options.direct;
    int fd = ::open(path.c_str(), flags | (direct ? O_DIRECT : 0));
    if (fd < 0 && direct && errno == EINVAL && options.allow_buffered_fallback) {
        direct = false;
        fd = ::open(path.c_str(), flags);
    }
    if (fd < 0) {
        if (error) *error = fmt("cannot open %s: %s", path, std::strerror(errno));
        return nullptr;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        if (error) *error = fmt("cannot stat %s: %s", path, std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    bool block = S_ISBLK(st.st_mode);
    uint64_t size = static_cast<uint64_t>(st.st_size);
    uint32_t sector = 512;
    if (block) {
        uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) size = bytes;
        int ss = 0;
        if (::ioctl(fd, BLKSSZGET, &ss) == 0 && ss > 0) sector = static_cast<uint32_t>(ss);
    }
    return std::make_unique<FdTarget>(fd, path, block, direct, options.async_queues, size, sector);
}

}  // namespace tb
