// One worker's request queue on a Windows disk, volume or file: overlapped
// ReadFile/WriteFile at the requests' offsets, reaped from the queue's own
// I/O completion port; trims through the data-set-management request and
// flushes through FlushFileBuffers run inside submit(). Forced-unit-access
// writes go through a second, write-through handle of the same path.
//
// A volume that a target has locked can only be reached through the handle
// that locked it; queues on such a handle share it and learn of their
// completions from events instead of a port (a handle belongs to one port).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/io_queue.h"
#include "platform/windows/host_handle.h"

namespace tb::windisk {

// How a queue reaches its path.
struct QueuePath {
    std::wstring path;
    uint32_t flags = 0;          // handle flags (overlapped, unbuffered)
    bool block_device = false;   // a drive or volume (trim goes to the device)
    HANDLE shared = nullptr;     // a locked volume's handle: used instead of opening the path
};

// A queue for up to `depth` requests in flight. Never null: a queue whose
// handle cannot be opened fails every request with the reason.
std::unique_ptr<IoQueue> make_disk_io_queue(const QueuePath& path, uint32_t depth, bool async);

}  // namespace tb::windisk
