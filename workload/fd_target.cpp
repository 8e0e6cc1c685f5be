#include "workload/fd_target.h"

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

#if defined(TAMBLOR_HAVE_URING) && __has_include(<liburing.h>)
#include <liburing.h>
#define TB_WITH_URING 1
#else
#define TB_WITH_URING 0
#endif

namespace tb {

namespace {

std::atomic<RingMode> g_ring_mode{RingMode::Cooperative};

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

#if TB_WITH_URING

constexpr uint64_t kCancelTag = ~0ull;

class UringQueue final : public IoQueue {
public:
    UringQueue(int fd, bool block) : fd_(fd), block_(block) {}
    UringQueue(const UringQueue&) = delete;
    UringQueue& operator=(const UringQueue&) = delete;
    ~UringQueue() override {
        if (ready_) io_uring_queue_exit(&ring_);
    }

    bool init(uint32_t depth, std::span<uint8_t> buffer) {
        unsigned entries = 8;
        while (entries < depth * 2) entries <<= 1;
        io_uring_params p{};
        RingMode mode = g_ring_mode.load();
        if (mode == RingMode::Cooperative)
            p.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_COOP_TASKRUN | IORING_SETUP_TASKRUN_FLAG;
        else if (mode == RingMode::Deferred)
            p.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN;
        p.flags |= IORING_SETUP_CLAMP;
        int rc = io_uring_queue_init_params(entries, &ring_, &p);
        if (rc < 0 && p.flags != IORING_SETUP_CLAMP) {  // an older kernel: plain flags
            p = io_uring_params{};
            p.flags = IORING_SETUP_CLAMP;
            mode = RingMode::Interrupt;
            rc = io_uring_queue_init_params(entries, &ring_, &p);
        }
        if (rc < 0) return false;
        ready_ = true;
        deferred_ = mode == RingMode::Deferred;
        taskrun_flag_ = mode == RingMode::Cooperative;
        if (io_uring_register_files(&ring_, &fd_, 1) == 0) fixed_file_ = true;
        if (!buffer.empty()) {
            iovec v{buffer.data(), buffer.size()};
            if (io_uring_register_buffers(&ring_, &v, 1) == 0) {
                buf_begin_ = buffer.data();
                buf_end_ = buffer.data() + buffer.size();
            }
        }
        io_uring_register_ring_fd(&ring_);
        return true;
    }

    SubmitResult submit(const IoRequest& r) override {
        if (r.op == IoOp::Trim) {
            int32_t res = trim_range(fd_, block_, r.offset, r.length);
            return {res < 0 ? SubmitStatus::Failed : SubmitStatus::Done, res};
        }
        io_uring_sqe* sqe = get_sqe();
        if (!sqe) return {SubmitStatus::Failed, -EBUSY};
        int file = fixed_file_ ? 0 : fd_;
        bool fixed_buf = buf_begin_ && r.data >= buf_begin_ && r.data + r.length <= buf_end_;
        switch (r.op) {
        case IoOp::Read:
            if (fixed_buf) io_uring_prep_read_fixed(sqe, file, r.data, r.length, r.offset, 0);
            else io_uring_prep_read(sqe, file, r.data, r.length, r.offset);
            break;
        case IoOp::Write:
            if (fixed_buf) io_uring_prep_write_fixed(sqe, file, r.data, r.length, r.offset, 0);
            else io_uring_prep_write(sqe, file, r.data, r.length, r.offset);
            if (r.fua) sqe->rw_flags = RWF_DSYNC;
            break;
        case IoOp::Flush:
            io_uring_prep_fsync(sqe, file, IORING_FSYNC_DATASYNC);
            break;
        case IoOp::Trim:
            break;
        }
        if (fixed_file_) sqe->flags |= IOSQE_FIXED_FILE;
        io_uring_sqe_set_data64(sqe, r.tag);
        ++unsubmitted_;
        return {SubmitStatus::Pending, 0};
    }

    void kick() override {
        if (unsubmitted_ == 0) return;
        unsubmitted_ = 0;
        io_uring_submit(&ring_);
    }

    size_t poll(std::span<IoCompletion> out) override {
        if (deferred_) {
            if (unsubmitted_) {
                unsubmitted_ = 0;
                io_uring_submit_and_get_events(&ring_);
            } else {
                io_uring_get_events(&ring_);
            }
        } else if (taskrun_flag_ && (IO_URING_READ_ONCE(*ring_.sq.kflags) & IORING_SQ_TASKRUN)) {
            io_uring_get_events(&ring_);
        }
        return reap(out);
    }

    size_t wait(std::span<IoCompletion> out, uint32_t timeout_us) override {
        size_t n = poll(out);
        if (n) {
            kick();
            return n;
        }
        __kernel_timespec ts{static_cast<long long>(timeout_us / 1000000), static_cast<long long>(timeout_us % 1000000) * 1000};
        io_uring_cqe* cqe = nullptr;
        unsubmitted_ = 0;
        io_uring_submit_and_wait_timeout(&ring_, &cqe, 1, &ts, nullptr);
        return reap(out);
    }

    void cancel(uint64_t tag) override {
        io_uring_sqe* sqe = get_sqe();
        if (!sqe) return;
        io_uring_prep_cancel64(sqe, tag, 0);
        io_uring_sqe_set_data64(sqe, kCancelTag);
        ++unsubmitted_;
        kick();
    }

private:
    io_uring_sqe* get_sqe() {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
        if (!sqe) {  // the ring is full of unsent entries: send them
            kick();
            sqe = io_uring_get_sqe(&ring_);
        }
        return sqe;
    }

    size_t reap(std::span<IoCompletion> out) {
        size_t n = 0;
        unsigned head;
        unsigned seen = 0;
        io_uring_cqe* cqe;
        io_uring_for_each_cqe(&ring_, head, cqe) {
            if (n == out.size()) break;
            ++seen;
            uint64_t tag = io_uring_cqe_get_data64(cqe);
            if (tag == kCancelTag) continue;
            out[n++] = {tag, cqe->res};
        }
        if (seen) io_uring_cq_advance(&ring_, seen);
        return n;
    }

    io_uring ring_{};
    int fd_;
    bool block_;
    bool ready_ = false;
    bool deferred_ = false;
    bool taskrun_flag_ = false;
    bool fixed_file_ = false;
    uint8_t* buf_begin_ = nullptr;
    uint8_t* buf_end_ = nullptr;
    unsigned unsubmitted_ = 0;
};

#endif  // TB_WITH_URING

class FdTarget final : public IoTarget {
public:
    FdTarget(int fd, std::string path, bool block, bool direct, bool uring, uint64_t size, uint32_t sector)
        : fd_(fd), path_(std::move(path)), block_(block), direct_(direct), uring_(uring), size_(size), sector_(sector) {}

    uint64_t size_bytes() const override { return size_; }
    uint32_t sector_size() const override { return sector_; }

    std::unique_ptr<IoQueue> make_queue(uint32_t depth, std::span<uint8_t> buffer) override {
#if TB_WITH_URING
        if (uring_) {
            auto q = std::make_unique<UringQueue>(fd_.get(), block_);
            if (q->init(depth, buffer)) return q;
        }
#endif
        return std::make_unique<PositionedQueue>(fd_.get(), block_);
    }

    std::string describe() const override {
        return fmt("%s (%s%s)", path_, uring_ && TB_WITH_URING ? "io_uring" : "pread/pwrite",
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

void set_ring_mode(RingMode mode) { g_ring_mode.store(mode); }
RingMode ring_mode() { return g_ring_mode.load(); }

bool uring_available() { return TB_WITH_URING != 0; }

std::unique_ptr<IoTarget> open_fd_target(const std::string& path, std::string* error, const FdTargetOptions& options) {
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
    return std::make_unique<FdTarget>(fd, path, block, direct, options.use_uring, size, sector);
}

}  // namespace tb
