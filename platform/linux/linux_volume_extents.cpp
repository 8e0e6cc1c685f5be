#include "platform/linux/linux_volume_extents.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace tb::linuxdisk {

namespace {

constexpr uint32_t kExtentsPerCall = 256;
// Pieces without a place of their own on the disk.
constexpr uint32_t kNoPlace = FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_DATA_INLINE |
                              FIEMAP_EXTENT_DATA_TAIL | FIEMAP_EXTENT_ENCODED;

// The start (in bytes) of the partition device `dev` on its disk; 0 for a
// whole disk (sysfs has no "start" for it).
uint64_t partition_start(dev_t dev) {
    std::ifstream in("/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev)) + "/start");
    uint64_t sectors = 0;
    if (!(in >> sectors)) return 0;
    return sectors * 512;  // sysfs counts 512-byte units whatever the sector size
}

// One FIEMAP call from `from`; false with errno when the file system refuses.
bool map_from(int fd, uint64_t from, std::vector<uint8_t>& buf) {
    buf.assign(sizeof(fiemap) + kExtentsPerCall * sizeof(fiemap_extent), 0);
    auto* m = reinterpret_cast<fiemap*>(buf.data());
    m->fm_start = from;
    m->fm_length = FIEMAP_MAX_OFFSET - from;
    m->fm_flags = FIEMAP_FLAG_SYNC;
    m->fm_extent_count = kExtentsPerCall;
    return ::ioctl(fd, FS_IOC_FIEMAP, m) == 0;
}

}  // namespace

ExtentsStatus linux_file_extents(const std::string& path, FileExtents& out, std::string* error) {
    out = FileExtents{};
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) {
        const int e = errno;
        if (error) *error = std::strerror(e);
        return e == ENOENT || e == ENOTDIR ? ExtentsStatus::NoFile : ExtentsStatus::Failed;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error) *error = "not a regular file";
        return ExtentsStatus::Failed;
    }
    out.file_size = static_cast<uint64_t>(st.st_size);
    const uint64_t start = partition_start(st.st_dev);
    std::vector<uint8_t> buf;
    for (uint64_t from = 0;;) {
        if (!map_from(fd.get(), from, buf)) {
            const int e = errno;
            if (error) *error = std::string("the file system gives no map: ") + std::strerror(e);
            return e == EOPNOTSUPP || e == ENOTTY ? ExtentsStatus::Unsupported : ExtentsStatus::Failed;
        }
        const auto* m = reinterpret_cast<const fiemap*>(buf.data());
        if (m->fm_mapped_extents == 0) return ExtentsStatus::Ok;
        bool last = false;
        for (uint32_t i = 0; i < m->fm_mapped_extents; ++i) {
            const fiemap_extent& x = m->fm_extents[i];
            if (!(x.fe_flags & kNoPlace)) out.extents.push_back({x.fe_logical, start + x.fe_physical, x.fe_length});
            from = x.fe_logical + x.fe_length;
            last = last || (x.fe_flags & FIEMAP_EXTENT_LAST);
        }
        if (last) return ExtentsStatus::Ok;
    }
}

std::optional<uint64_t> linux_volume_start(const StorageAddress& volume) {
    std::string device = volume.native_path;
    if (size_t on = device.find(" on "); on != std::string::npos) device.resize(on);
    struct stat st {};
    if (device.empty() || ::stat(device.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    return partition_start(st.st_rdev);
}

}  // namespace tb::linuxdisk
