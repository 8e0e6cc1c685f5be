// Targets without a real device: a simulated disk's backing store, plain
// memory, or a file of the host run by plain positioned I/O. Requests run when they are submitted; their completion is held
// back by an injectable latency, and an injectable error replaces their
// outcome, so the engine meets slow, failing and hanging devices in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/io_queue.h"

namespace tb {

namespace sim {
class BackingStore;
class HostFile;
}

struct SimIoHooks {
    // Microseconds until the request completes; negative: it never does.
    std::function<int64_t(const IoRequest&)> latency_us;
    // 0, or the -errno the request ends with (nothing is then transferred).
    std::function<int32_t(const IoRequest&)> error;
    // Every request as it is submitted, with the number of its queue (queues
    // are numbered from 0 in the order they were made). Called under a lock.
    std::function<void(uint32_t queue, const IoRequest&)> record;
    // Every request once it has run, with its outcome (bytes or -errno).
    std::function<void(const IoRequest&, int32_t result)> done;
    // A cancelled request that has not completed stays pending (a device
    // that ignores aborts).
    bool ignore_cancel = false;
    // A request without latency completes inside submit() (not through
    // poll(); such requests are counted but not timed).
    bool complete_inline = false;
};

// Over a store shared with its disk (kept alive as long as the target).
std::unique_ptr<IoTarget> make_store_target(std::shared_ptr<sim::BackingStore> store, uint32_t sector_size,
                                            SimIoHooks hooks = {});
// Over an open file of the host of `size` bytes, `shown` naming it.
std::unique_ptr<IoTarget> make_host_file_target(sim::HostFile file, uint64_t size, std::string shown,
                                                uint32_t sector_size);
// Over memory. With `keep_data` the bytes are kept (size must fit in
// memory); without, writes are discarded and reads return zeros.
std::unique_ptr<IoTarget> make_memory_target(uint64_t size, uint32_t sector_size, SimIoHooks hooks = {},
                                             bool keep_data = false);

}  // namespace tb
