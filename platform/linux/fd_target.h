// Targets that are a block device or a file of this machine, opened for
// unbuffered I/O. Each worker's queue is an io_uring ring of its own where
// the build has io_uring, else synchronous positioned I/O.
#pragma once

#include <memory>
#include <string>

#include "platform/block_storage.h"
#include "platform/io_queue.h"

namespace tb {

// How the rings are set up (the benchmark compares them).
enum class RingMode {
    Interrupt,      // default flags: completions are posted by interrupting the task
    Cooperative,    // single issuer, completions posted at the next kernel entry
    Deferred,       // single issuer, completions posted only when the worker asks
};
void set_ring_mode(RingMode mode);

// Whether this build has the io_uring queue.
bool uring_available();

// Opens an existing device or file for reading and writing; nullptr with a
// message in `error` when it cannot be opened.
std::unique_ptr<IoTarget> open_fd_target(const std::string& path, std::string* error = nullptr,
                                         const PathOptions& options = {});

}  // namespace tb
