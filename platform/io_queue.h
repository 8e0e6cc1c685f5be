// The narrow I/O interface the workload engine runs on: a target (a block
// device, a file, a simulated disk) that hands out request queues, one per
// worker thread. A queue takes reads, writes, trims and flushes at byte
// offsets and reports completions only when asked (polling); nothing in it
// blocks on one request.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tb {

enum class IoOp : uint8_t { Read = 0, Write = 1, Trim = 2, Flush = 3 };

struct IoRequest {
    IoOp op = IoOp::Read;
    uint64_t offset = 0;     // bytes
    uint8_t* data = nullptr; // read into / written from (unused for trim and flush)
    uint32_t length = 0;     // bytes (trim: bytes to deallocate)
    uint64_t tag = 0;        // returned with the completion
    bool fua = false;        // write-through (forced unit access)
};

// How a submission went.
enum class SubmitStatus {
    Pending,  // queued; its completion comes through poll()
    Done,     // completed at once; `result` holds the outcome
    Failed,   // refused at once; `result` holds -errno
};

struct SubmitResult {
    SubmitStatus status = SubmitStatus::Pending;
    int32_t result = 0;  // bytes done, or -errno
};

struct IoCompletion {
    uint64_t tag = 0;
    int32_t result = 0;  // bytes done (a short transfer is the caller's to judge), or -errno
};

class IoQueue {
public:
    virtual ~IoQueue() = default;
    // Queues one request. A queue may hold submissions back until kick().
    virtual SubmitResult submit(const IoRequest& request) = 0;
    // Hands queued submissions to the device.
    virtual void kick() {}
    // Completions that have arrived, at most out.size(); never waits.
    virtual size_t poll(std::span<IoCompletion> out) = 0;
    // Like poll(), but when nothing has arrived waits at most `timeout_us`
    // for the first completion of any request (kicks first).
    virtual size_t wait(std::span<IoCompletion> out, uint32_t timeout_us) = 0;
    // Asks the device to drop a pending request. Its completion (usually
    // -ECANCELED) may still arrive through poll(); callers that stop caring
    // about the request must recognise and skip it by its tag.
    virtual void cancel(uint64_t tag) = 0;
};

// One opened target. Thread-safe: every worker asks for its own queue.
class IoTarget {
public:
    virtual ~IoTarget() = default;
    // Size in bytes and logical sector size as the target itself reports
    // them (0 when it cannot tell).
    virtual uint64_t size_bytes() const = 0;
    virtual uint32_t sector_size() const = 0;
    // A queue for up to `depth` requests in flight. `buffer` is the memory
    // every request of this queue will point into (a queue may register it
    // with the device once); requests outside it are still allowed.
    virtual std::unique_ptr<IoQueue> make_queue(uint32_t depth, std::span<uint8_t> buffer) = 0;
    // A short description for messages ("/dev/loop0 (io_uring)").
    virtual std::string describe() const = 0;
};

// Runs one request to its end on a fresh queue of depth 1, waiting as long
// as it takes (or `timeout_ms`, then -ETIMEDOUT). Returns bytes or -errno.
int32_t io_sync(IoTarget& target, const IoRequest& request, uint32_t timeout_ms = 60000);

}  // namespace tb
