#include "platform/host/copy_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace tb::host {

namespace {

constexpr size_t kStretch = 8u << 20;  // bytes per call, so progress and stops come often

CopyResult failed(CopyOutcome outcome, int code) { return {outcome, std::strerror(code)}; }

// One stretch: copied by the kernel while it can (not across file systems,
// not on every file system or kernel), else read and written.
// Returns the bytes moved (0 at the source's end), or -1 with errno set and
// `source_side` telling which file failed.
ssize_t copy_stretch(int in, int out, size_t n, bool& kernel, std::vector<char>& buffer, bool& source_side) {
    if (kernel) {
        const ssize_t moved = ::copy_file_range(in, nullptr, out, nullptr, n, 0);
        if (moved >= 0) return moved;
        // The stretch is taken again through the buffer, which tells the
        // failing side apart (and goes on when only the kernel's way failed).
        kernel = false;
    }
    if (buffer.empty()) buffer.resize(1u << 20);
    const ssize_t got = ::read(in, buffer.data(), std::min(n, buffer.size()));
    if (got <= 0) {
        source_side = true;
        return got;
    }
    for (ssize_t put = 0; put < got;) {
        const ssize_t w = ::write(out, buffer.data() + put, static_cast<size_t>(got - put));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC;
            source_side = false;
            return -1;
        }
        put += w;
    }
    return got;
}

}  // namespace

CopyResult copy_file(const std::filesystem::path& from, const std::filesystem::path& to,
                     const CopyProgress& progress) {
    linuxdisk::UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) return failed(CopyOutcome::SourceFailed, errno);
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) return failed(CopyOutcome::SourceFailed, errno);
    if (!S_ISREG(st.st_mode)) return failed(CopyOutcome::SourceFailed, EISDIR);
    linuxdisk::UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777));
    if (!out) return failed(CopyOutcome::DestinationFailed, errno);
    const uint64_t total = static_cast<uint64_t>(st.st_size);
    CopyResult result;
    bool kernel = true;
    bool kernel_moved = false;
    std::vector<char> buffer;
    uint64_t done = 0;
    while (result.outcome == CopyOutcome::Copied) {
        if (progress && !progress(done, total)) {
            result.outcome = CopyOutcome::Stopped;
            break;
        }
        bool source_side = false;
        const ssize_t moved = copy_stretch(in.get(), out.get(), kStretch, kernel, buffer, source_side);
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0) result = failed(source_side ? CopyOutcome::SourceFailed : CopyOutcome::DestinationFailed, errno);
        else if (moved == 0 && kernel && done < total) kernel = false;  // a file system that copies nothing
        else if (moved == 0) break;
        else {
            done += static_cast<uint64_t>(moved);
            kernel_moved = kernel_moved || kernel;
        }
    }
    if (result.outcome == CopyOutcome::Copied && ::fsync(out.get()) != 0)
        result = failed(CopyOutcome::DestinationFailed, errno);
    if (result.outcome == CopyOutcome::Copied && done < total)
        result = {CopyOutcome::SourceFailed, "the source ended before its size"};
    if (result.outcome == CopyOutcome::Copied && progress) progress(done, total);
    result.by_kernel = kernel_moved && kernel;
    out.reset();
    if (result.outcome != CopyOutcome::Copied) ::unlink(to.c_str());
    return result;
}

}  // namespace tb::host
