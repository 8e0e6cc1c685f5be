#include "platform/windows/disk_io_target.h"

#include <windows.h>
#include <winioctl.h>

#include <vector>

#include "common/format.h"
#include "disk/windows_replies.h"
#include "disk/windows_requests.h"
#include "platform/windows/disk_io_queue.h"
#include "platform/windows/disk_ioctl.h"
#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"
#include "platform/windows_io_rules.h"

namespace tb::windisk {

namespace {

constexpr uint32_t kDefaultSector = 512;

host::HostHandle open_overlapped(const std::wstring& path, uint32_t flags) {
    return host::HostHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          flags | winio::kAttributeNormal, nullptr));
}

struct Extent {
    uint64_t size = 0;
    uint32_t sector = kDefaultSector;
};

Extent device_extent(HANDLE h) {
    Extent e;
    std::vector<uint8_t> reply(64, 0);
    if (query(h, winreq::kIoctlDiskGetLengthInfo, reply))
        if (auto n = winreq::parse_length_info(reply)) e.size = *n;
    reply.assign(256, 0);
    if (query(h, winreq::kIoctlDiskGetDriveGeometryEx, reply))
        if (auto g = winreq::parse_drive_geometry_ex(reply)) {
            if (g->bytes_per_sector) e.sector = g->bytes_per_sector;
            if (!e.size) e.size = g->disk_size;
        }
    return e;
}

Extent file_extent(HANDLE h) {
    Extent e;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(h, &size)) e.size = static_cast<uint64_t>(size.QuadPart);
    FILE_STORAGE_INFO info{};
    if (::GetFileInformationByHandleEx(h, FileStorageInfo, &info, sizeof info) && info.LogicalBytesPerSector)
        e.sector = info.LogicalBytesPerSector;
    return e;
}

// Takes the volume for raw I/O: locked (no other handle reaches it) and
// dismounted (the file system lets go of its sectors). False when the
// volume is in use and cannot be locked.
bool take_volume(HANDLE h) {
    uint32_t returned = 0, error = 0;
    if (!control(h, winreq::kFsctlLockVolume, nullptr, 0, nullptr, 0, returned, error)) return false;
    control(h, winreq::kFsctlDismountVolume, nullptr, 0, nullptr, 0, returned, error);
    // I/O up to the volume's last sector, past what the file system maps.
    control(h, winreq::kFsctlAllowExtendedDasdIo, nullptr, 0, nullptr, 0, returned, error);
    return true;
}

class WindowsTarget final : public IoTarget {
public:
    WindowsTarget(std::string name, QueuePath path, Extent extent, bool async, host::HostHandle locked)
        : name_(std::move(name)), path_(std::move(path)), extent_(extent), async_(async),
          locked_(std::move(locked)) {
        if (locked_) path_.shared = locked_.get();
    }
    ~WindowsTarget() override {
        if (!locked_) return;
        uint32_t returned = 0, error = 0;
        control(locked_.get(), winreq::kFsctlUnlockVolume, nullptr, 0, nullptr, 0, returned, error);
    }

    uint64_t size_bytes() const override { return extent_.size; }
    uint32_t sector_size() const override { return extent_.sector; }
    std::unique_ptr<IoQueue> make_queue(uint32_t depth, std::span<uint8_t>) override {
        return make_disk_io_queue(path_, depth, async_);
    }
    std::string describe() const override {
        return fmt("%s (%s%s%s)", name_, locked_ ? "events, locked volume" : "completion port",
                   path_.flags & winio::kFlagNoBuffering ? ", unbuffered" : ", buffered", async_ ? "" : ", synchronous");
    }

private:
    std::string name_;
    QueuePath path_;
    Extent extent_;
    bool async_;
    host::HostHandle locked_;
};

}  // namespace

std::unique_ptr<IoTarget> open_windows_target(const std::string& path, const TargetOptions& options,
                                              std::string* error) {
    QueuePath qp;
    qp.path = host::utf8_to_wide(path);
    qp.block_device = winio::is_device_namespace(path);
    qp.flags = winio::handle_flags(options.direct, false);
    host::HostHandle h = open_overlapped(qp.path, qp.flags);
    if (!h && options.direct && options.allow_buffered_fallback && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        qp.flags = winio::handle_flags(false, false);
        h = open_overlapped(qp.path, qp.flags);
    }
    if (!h) {
        const DWORD why = ::GetLastError();
        if (error) *error = fmt("cannot open %s: %s", path, host::win32_error_text(why));
        return nullptr;
    }
    const Extent extent = qp.block_device ? device_extent(h.get()) : file_extent(h.get());
    host::HostHandle locked;
    if (options.lock_volume && take_volume(h.get())) locked = std::move(h);
    return std::make_unique<WindowsTarget>(path, std::move(qp), extent, options.async, std::move(locked));
}

}  // namespace tb::windisk
