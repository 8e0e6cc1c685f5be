// A Windows drive, volume or file opened as an LBA target. Every queue opens
// its own overlapped handle with its own completion port, except on a volume
// the target has locked and dismounted for raw I/O: that volume is reached
// only through the locking handle, which the queues then share.
#pragma once

#include <memory>
#include <string>

#include "platform/io_queue.h"

namespace tb::windisk {

struct TargetOptions {
    bool direct = true;                   // unbuffered
    bool allow_buffered_fallback = true;  // buffered where the file system refuses unbuffered handles
    bool async = true;                    // false: every request completes inside submit()
    bool lock_volume = false;             // lock and dismount the volume first
};

// nullptr with the reason in `error` when the path cannot be opened.
std::unique_ptr<IoTarget> open_windows_target(const std::string& path, const TargetOptions& options,
                                              std::string* error);

}  // namespace tb::windisk
