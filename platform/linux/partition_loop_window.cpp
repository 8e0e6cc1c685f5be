#include "platform/linux/partition_loop_window.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace tb::linuxdisk {

namespace {

std::string why(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

LoopWindow::LoopWindow(const std::string& node, uint64_t offset, uint64_t length) {
    UniqueFd backing(::open(node.c_str(), O_RDWR | O_CLOEXEC));
    if (!backing) {
        error_ = why("Cannot open " + node);
        return;
    }
    UniqueFd control(::open("/dev/loop-control", O_RDWR | O_CLOEXEC));
    if (!control) {
        error_ = why("Cannot open /dev/loop-control");
        return;
    }
    // Another program may take the free device first: try a few times.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int number = ::ioctl(control.get(), LOOP_CTL_GET_FREE);
        if (number < 0) {
            error_ = why("No free loop device");
            return;
        }
        const std::string path = "/dev/loop" + std::to_string(number);
        UniqueFd loop(::open(path.c_str(), O_RDWR | O_CLOEXEC));
        if (!loop) continue;
        if (::ioctl(loop.get(), LOOP_SET_FD, backing.get()) != 0) {
            if (errno == EBUSY) continue;
            error_ = why("Cannot attach " + path);
            return;
        }
        loop_info64 info{};
        info.lo_offset = offset;
        info.lo_sizelimit = length;
        info.lo_flags = LO_FLAGS_AUTOCLEAR;
        if (::ioctl(loop.get(), LOOP_SET_STATUS64, &info) != 0) {
            error_ = why("Cannot set the range of " + path);
            ::ioctl(loop.get(), LOOP_CLR_FD, 0);
            return;
        }
        loop_ = std::move(loop);
        path_ = path;
        return;
    }
    error_ = "No loop device could be attached";
}

LoopWindow::~LoopWindow() {
    if (loop_) ::ioctl(loop_.get(), LOOP_CLR_FD, 0);
}

}  // namespace tb::linuxdisk
