#include "platform/windows/disk_storage_win.h"

#include <windows.h>
#include <winioctl.h>

#include <vector>

#include "disk/windows_requests.h"
#include "platform/windows/disk_io_target.h"
#include "platform/windows/disk_ioctl.h"
#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"
#include "platform/windows/windows_volume_extents.h"
#include "platform/windows_io_rules.h"

namespace tb::windisk {

namespace {

class WindowsBlockStorage final : public BlockStorage {
public:
    std::unique_ptr<IoTarget> open_disk(const StorageAddress& where, std::string* error) override {
        TargetOptions o;
        o.lock_volume = winio::lock_volume_for_raw_io(where);
        return open_windows_target(winio::device_path_for(where), o, error);
    }

    std::unique_ptr<IoTarget> open_path(const std::string& path, const PathOptions& options,
                                        std::string* error) override {
        TargetOptions o;
        o.direct = options.direct;
        o.allow_buffered_fallback = options.allow_buffered_fallback;
        o.async = options.async_queues;
        return open_windows_target(path, o, error);
    }
};

// A test file written in place at its offsets; unbuffered where the file
// system allows.
class WindowsNewFile final : public NewFile {
public:
    explicit WindowsNewFile(host::HostHandle h) : h_(std::move(h)) {}
    bool write_at(uint64_t offset, std::span<const uint8_t> bytes) override {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        return ::WriteFile(h_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, &at) &&
               written == bytes.size();
    }
    bool finish() override { return ::FlushFileBuffers(h_.get()) != FALSE; }

private:
    host::HostHandle h_;
};

host::HostHandle create_new(const std::wstring& path, DWORD flags) {
    return host::HostHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | flags, nullptr));
}

class WindowsVolumes final : public Volumes {
public:
    std::string root_folder(const StorageAddress& volume) override {
        if (!volume.volume_letter) return {};
        return std::string(1, volume.volume_letter) + ":";
    }

    uint64_t free_bytes(const std::string& folder) override {
        if (folder.empty()) return 0;
        std::wstring root = host::utf8_to_wide(folder);
        if (root.back() != L'\\') root += L'\\';
        ULARGE_INTEGER available{};
        return ::GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr) ? available.QuadPart : 0;
    }

    std::unique_ptr<NewFile> create_file(const std::string& path) override {
        const std::wstring wide = host::utf8_to_wide(path);
        host::HostHandle h = create_new(wide, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN);
        if (!h && ::GetLastError() == ERROR_INVALID_PARAMETER) h = create_new(wide, FILE_FLAG_SEQUENTIAL_SCAN);
        if (!h) return nullptr;
        // Compression off, so that the file's bytes take real space on the medium.
        std::vector<uint8_t> off = winreq::build_compression_off();
        uint32_t returned = 0, error = 0;
        control(h.get(), winreq::kFsctlSetCompression, off.data(), off.size(), nullptr, 0, returned, error);
        return std::make_unique<WindowsNewFile>(std::move(h));
    }

    bool remove_file(const std::string& path) override {
        return ::DeleteFileW(host::utf8_to_wide(path).c_str()) != FALSE;
    }

    ExtentsStatus file_extents(const std::string& path, FileExtents& out, std::string* error) override {
        return windows_file_extents(path, out, error);
    }

    std::optional<uint64_t> volume_start(const StorageAddress& volume) override { return windows_volume_start(volume); }
};

}  // namespace

std::unique_ptr<BlockStorage> make_windows_block_storage() { return std::make_unique<WindowsBlockStorage>(); }

std::unique_ptr<Volumes> make_windows_volumes() { return std::make_unique<WindowsVolumes>(); }

}  // namespace tb::windisk
