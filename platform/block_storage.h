// The seam between the workloads and a machine's media: a disk, one of its
// volumes, or a file opened as an LBA target (see io_queue.h) whose worker
// threads each get their own asynchronous queue.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/io_queue.h"

namespace tb {

// One medium of a disk as the disk table names it: the whole drive, or one
// of its volumes.
struct StorageAddress {
    uint32_t disk_number = 0;
    char volume_letter = 0;    // 0: the whole drive
    std::string path;          // "\\.\PHYSICALDRIVE1" or "\\.\D:", for messages
    std::string native_path;   // the real device: "/dev/sdb", or "/dev/sdb1 on /mnt"
};

// How a path of this machine (a device node or a file) is opened.
struct PathOptions {
    bool direct = true;                   // unbuffered
    bool allow_buffered_fallback = true;  // buffered where the file system refuses unbuffered I/O
    bool async_queues = true;             // false: every request runs inside submit()
};

// How asynchronous queues learn of their completions (the benchmark
// compares the ways; a backend without a choice ignores it).
enum class CompletionMode { Interrupt, Cooperative, Deferred };

class BlockStorage {
public:
    virtual ~BlockStorage() = default;
    // The drive, or the volume (a window of its disk, offsets from the
    // volume's start); nullptr with a message when it cannot be opened.
    virtual std::unique_ptr<IoTarget> open_disk(const StorageAddress& where, std::string* error) = 0;
    // An existing device node or file (a test file) of the machine the
    // program runs on; nullptr with a message when it cannot be opened.
    virtual std::unique_ptr<IoTarget> open_path(const std::string& path, const PathOptions& options,
                                                std::string* error) = 0;
    virtual void set_completion_mode(CompletionMode) {}
};

// The storage in use (the simulated machine's unless another was installed).
BlockStorage& block_storage();
void set_block_storage(std::unique_ptr<BlockStorage> storage);

}  // namespace tb
