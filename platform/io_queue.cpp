#include "platform/io_queue.h"

#include <cerrno>
#include <chrono>

namespace tb {

int32_t io_sync(IoTarget& target, const IoRequest& request, uint32_t timeout_ms) {
    auto queue = target.make_queue(1, {});
    if (!queue) return -ENOMEM;
    SubmitResult s = queue->submit(request);
    if (s.status != SubmitStatus::Pending) return s.result;
    queue->kick();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    IoCompletion c;
    for (;;) {
        size_t n = queue->wait(std::span<IoCompletion>(&c, 1), 100000);
        if (n && c.tag == request.tag) return c.result;
        if (std::chrono::steady_clock::now() >= deadline) {
            queue->cancel(request.tag);
            // Give the cancellation a moment so the buffer is not in use
            // when the caller lets it go.
            for (int i = 0; i < 10; ++i)
                if (queue->wait(std::span<IoCompletion>(&c, 1), 10000) && c.tag == request.tag) break;
            return -ETIMEDOUT;
        }
    }
}

}  // namespace tb
