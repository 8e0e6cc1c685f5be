// The io_uring queue (liburing) behind the targets of this machine.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/linux/fd_target.h"
#include "platform/io_queue.h"

namespace tb {

// A ring of its own for up to `depth` requests in flight on `fd`, with the
// file and `buffer` registered; nullptr where the build or the kernel has
// no io_uring (the caller then takes the positioned-I/O queue).
std::unique_ptr<IoQueue> make_uring_queue(int fd, bool block, uint32_t depth, std::span<uint8_t> buffer);

// Discards a range (BLKDISCARD on a block device, a punched hole in a
// file), synchronously: bytes done or -errno.
int32_t trim_range(int fd, bool block, uint64_t offset, uint32_t length);

}  // namespace tb
