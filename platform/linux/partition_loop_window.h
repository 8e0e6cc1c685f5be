// A loop device over a byte range of a disk: how a partition is reached
// when the kernel made no node for it (a kernel without the table's
// partition parser, a loop device without partition scanning). Detached
// when the object goes away.
#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/unique_fd.h"

namespace tb::linuxdisk {

class LoopWindow {
public:
    // Attaches a free loop device to [offset, offset + length) of `node`;
    // check ok() and error().
    LoopWindow(const std::string& node, uint64_t offset, uint64_t length);
    ~LoopWindow();
    LoopWindow(const LoopWindow&) = delete;
    LoopWindow& operator=(const LoopWindow&) = delete;

    bool ok() const { return static_cast<bool>(loop_); }
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

private:
    UniqueFd loop_;
    std::string path_;
    std::string error_;
};

}  // namespace tb::linuxdisk
