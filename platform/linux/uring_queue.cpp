// The io_uring queue of a block device or file: one ring per worker,
// submissions batched until kick(), completions reaped from the ring
// without a system call where the ring allows it.
#include "platform/linux/uring_queue.h"

#include <sys/uio.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#if defined(TAMBLOR_HAVE_URING) && __has_include(<liburing.h>)
#include <liburing.h>
#define TB_WITH_URING 1
#else
#define TB_WITH_URING 0
#endif

namespace tb {

namespace {

std::atomic<RingMode> g_ring_mode{RingMode::Deferred};

#if TB_WITH_URING

constexpr uint64_t kCancelTag = ~0ull;
constexpr uint64_t kTimerTag = ~0ull - 1;

uint64_t monotonic_ns() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

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

    // New requests are handed over and the first completion awaited in one
    // call. The bound on the sleep is a timeout request kept in the ring
    // across waits rather than a timer armed and cancelled by every wait:
    // at queue depth 1 every request is a wait, and a timer costs more than
    // the wait itself where the machine is virtual.
    size_t wait(std::span<IoCompletion> out, uint32_t timeout_us) override {
        // A deferred ring runs its completions in the wait below, which
        // returns at once when one is ready: only what is already posted
        // is taken first, without a call of its own.
        size_t n = deferred_ ? reap(out) : poll(out);
        if (n) {
            kick();
            return n;
        }
        if (!bound_sleep(timeout_us)) return 0;
        unsubmitted_ = 0;
        io_uring_submit_and_wait(&ring_, 1);
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
    static constexpr uint64_t kUnknownDue = ~0ull;

    // A timeout request that ends a sleep at most `timeout_us` from now:
    // the one in the ring when it is due soon enough, else a new one.
    bool bound_sleep(uint32_t timeout_us) {
        const uint64_t due = monotonic_ns() + uint64_t{timeout_us} * 1000;
        if (timers_ > 0 && timer_due_ns_ <= due) return true;
        io_uring_sqe* sqe = get_sqe();
        if (!sqe) return false;
        timer_ts_ = {static_cast<long long>(timeout_us / 1000000), static_cast<long long>(timeout_us % 1000000) * 1000};
        io_uring_prep_timeout(sqe, &timer_ts_, 0, 0);
        io_uring_sqe_set_data64(sqe, kTimerTag);
        ++unsubmitted_;
        ++timers_;
        timer_due_ns_ = due;
        return true;
    }

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
            if (tag == kTimerTag) {
                // Which of several went off is not known: the next wait
                // arms a fresh one rather than trust the others.
                if (timers_ > 0) --timers_;
                timer_due_ns_ = kUnknownDue;
                continue;
            }
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
    unsigned timers_ = 0;          // timeout requests in the ring
    uint64_t timer_due_ns_ = kUnknownDue;  // when the earliest of them goes off
    __kernel_timespec timer_ts_{};  // read by the kernel when the request is handed over
};

#endif  // TB_WITH_URING

}  // namespace

void set_ring_mode(RingMode mode) { g_ring_mode.store(mode); }

bool uring_available() { return TB_WITH_URING != 0; }

std::unique_ptr<IoQueue> make_uring_queue(int fd, bool block, uint32_t depth, std::span<uint8_t> buffer) {
#if TB_WITH_URING
    auto q = std::make_unique<UringQueue>(fd, block);
    if (q->init(depth, buffer)) return q;
#endif
    return nullptr;
}

}  // namespace tb
