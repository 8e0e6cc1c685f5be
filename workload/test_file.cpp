#include "workload/test_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "common/format.h"
#include "platform/linux/unique_fd.h"
#include "script/app_context.h"
#include "ui/status.h"
#include "workload/aligned_buffer.h"

namespace tb {

using linuxdisk::UniqueFd;

std::string test_file_path(const std::string& root, uint32_t job_number) {
    return fmt("%s/~TamblorTestFile%08d", root, job_number);
}

uint32_t job_number() { return static_cast<uint32_t>(::getpid()); }

bool prepare_test_file(int slot, const std::string& path, uint64_t size_mb) {
    constexpr size_t kChunk = 1u << 20;
    int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    UniqueFd fd(::open(path.c_str(), flags | O_DIRECT, 0644));
    if (!fd && errno == EINVAL) fd = UniqueFd(::open(path.c_str(), flags, 0644));  // no unbuffered I/O here
    if (!fd) return false;
    // Compression off, so that the zeros take real space on the medium.
    int attr = 0;
    if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &attr) == 0 && (attr & FS_COMPR_FL)) {
        attr &= ~FS_COMPR_FL;
        ::ioctl(fd.get(), FS_IOC_SETFLAGS, &attr);
    }
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    AlignedBuffer zeros(kChunk);
    bool ok = static_cast<bool>(zeros);
    int shown = -1;
    for (uint64_t i = 0; ok && i < size_mb; ++i) {
        if (cancel_requested(slot)) {
            ok = false;
            break;
        }
        ssize_t n = ::pwrite(fd.get(), zeros.data(), kChunk, static_cast<off_t>(i * kChunk));
        if (n != static_cast<ssize_t>(kChunk)) {
            ok = false;
            break;
        }
        int percent = static_cast<int>((i + 1) * 100 / size_mb);
        if (percent != shown) {
            shown = percent;
            set_status_text(slot, fmt("Parpare Test File:%d%%", percent));
        }
    }
    if (ok) ok = ::fsync(fd.get()) == 0;
    fd = UniqueFd();
    set_status_text(slot, "");
    if (!ok) ::unlink(path.c_str());
    return ok;
}

}  // namespace tb
