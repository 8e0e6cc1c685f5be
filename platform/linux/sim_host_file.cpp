#include "platform/sim/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tb::sim {

namespace {

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

void HostFile::reset(std::intptr_t handle) {
    if (handle_ != kNone) ::close(fd_of(handle_));
    handle_ = handle;
}

bool HostFile::read_at(uint64_t offset, std::span<uint8_t> out) const {
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(fd_of(handle_), out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {  // beyond the end of a short file: zeros
            std::memset(out.data() + done, 0, out.size() - done);
            return true;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool HostFile::write_at(uint64_t offset, std::span<const uint8_t> in) const {
    size_t done = 0;
    while (done < in.size()) {
        ssize_t n = ::pwrite(fd_of(handle_), in.data() + done, in.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool HostFile::punch_hole(uint64_t offset, uint64_t length) const {
    return ::fallocate(fd_of(handle_), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                       static_cast<off_t>(length)) == 0;
}

bool HostFile::set_size(uint64_t size, std::string* why) const {
    if (::ftruncate(fd_of(handle_), static_cast<off_t>(size)) == 0) return true;
    if (why) *why = std::strerror(errno);
    return false;
}

uint64_t HostFile::allocated_bytes(uint64_t fallback) const {
    struct stat st{};
    if (::fstat(fd_of(handle_), &st) != 0) return fallback;
    return static_cast<uint64_t>(st.st_blocks) * 512;
}

bool HostFile::sync() const { return ::fdatasync(fd_of(handle_)) == 0; }

bool HostFile::facts(HostFileFacts& out, std::string* why) const {
    struct stat st{};
    if (::fstat(fd_of(handle_), &st) != 0) {
        if (why) *why = std::strerror(errno);
        return false;
    }
    out.kind = S_ISREG(st.st_mode) ? HostNodeKind::Regular : S_ISDIR(st.st_mode) ? HostNodeKind::Folder
                                                                                 : HostNodeKind::Other;
    out.owner = std::to_string(st.st_uid);
    out.links = st.st_nlink;
    out.size = static_cast<uint64_t>(st.st_size);
    out.private_to_owner = (st.st_mode & 0077) == 0;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    out.access = mode;
    return true;
}

}  // namespace tb::sim
