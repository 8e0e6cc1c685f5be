#include "platform/sim/host_volume_files.h"

#include <windows.h>
#include <winioctl.h>

#include <cerrno>

#include "common/format.h"
#include "platform/sim/host_file.h"
#include "platform/sim/host_path.h"
#include "platform/sim/sim_target.h"
#include "platform/windows/host_text.h"

namespace tb::sim {

namespace {

class HostTestFile final : public NewFile {
  public:
    explicit HostTestFile(HostFile file) : file_(std::move(file)) {}
    bool write_at(uint64_t offset, std::span<const uint8_t> bytes) override { return file_.write_at(offset, bytes); }
    bool finish() override { return file_.sync(); }

  private:
    HostFile file_;
};

// Compression off, so that the file's bytes take real space on the medium.
void compression_off(HANDLE h) {
    USHORT format = COMPRESSION_FORMAT_NONE;
    DWORD returned = 0;
    ::DeviceIoControl(h, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &returned, nullptr);
}

constexpr uint32_t kFileSectorSize = 512;

}  // namespace

uint64_t host_free_bytes(const std::string& folder) {
    ULARGE_INTEGER available{};
    if (folder.empty() || !::GetDiskFreeSpaceExW(host_path(folder).c_str(), &available, nullptr, nullptr)) return 0;
    return available.QuadPart;
}

std::unique_ptr<NewFile> create_host_test_file(const std::string& path) {
    const std::filesystem::path name = host_path(path);
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             flags | FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_INVALID_PARAMETER)  // no unbuffered I/O here
        h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, flags,
                          nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    compression_off(h);
    return std::make_unique<HostTestFile>(HostFile(reinterpret_cast<std::intptr_t>(h)));
}

bool remove_host_test_file(const std::string& path) { return ::DeleteFileW(host_path(path).c_str()) != 0; }

std::unique_ptr<IoTarget> open_host_path(const std::string& path, const PathOptions&, std::string* error) {
    HANDLE h = ::CreateFileW(host_path(path).c_str(), GENERIC_READ | GENERIC_WRITE | READ_CONTROL,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = fmt("cannot open %s: %s", path, host::win32_error_text(::GetLastError()));
        return nullptr;
    }
    HostFile file(reinterpret_cast<std::intptr_t>(h));
    HostFileFacts facts;
    std::string why;
    if (!file.facts(facts, &why)) {
        if (error) *error = fmt("cannot look at %s: %s", path, why);
        return nullptr;
    }
    return make_host_file_target(std::move(file), facts.size, path, kFileSectorSize);
}

}  // namespace tb::sim
