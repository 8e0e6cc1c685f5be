#include "platform/windows/windows_volume_extents.h"

#include <windows.h>

#include <vector>

#include "files/file_extents_retrieval.h"
#include "platform/windows/disk_ioctl.h"
#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb::windisk {

namespace {

constexpr size_t kReplyBytes = 64 * 1024;

std::optional<uint64_t> physical_start(const std::wstring& volume_device) {
    host::HostHandle h(::CreateFileW(volume_device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    if (!h) return std::nullopt;
    const std::vector<uint8_t> request = winfs::logical_to_physical_request(0);
    std::vector<uint8_t> reply(256);
    uint32_t returned = 0, error = 0;
    if (!control(h.get(), winfs::kIoctlVolumeLogicalToPhysical, request.data(), request.size(), reply.data(),
                 reply.size(), returned, error))
        return std::nullopt;
    reply.resize(returned);
    return winfs::read_physical_offset(reply);
}

// The volume holding `path`: its cluster size and its device ("\\?\Volume{...}").
bool volume_of(const std::wstring& path, uint32_t& cluster_size, std::wstring& device) {
    wchar_t root[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    DWORD spc = 0, bps = 0, free_clusters = 0, clusters = 0;
    if (!::GetVolumePathNameW(path.c_str(), root, MAX_PATH) ||
        !::GetDiskFreeSpaceW(root, &spc, &bps, &free_clusters, &clusters) ||
        !::GetVolumeNameForVolumeMountPointW(root, name, MAX_PATH))
        return false;
    cluster_size = spc * bps;
    device = name;
    if (!device.empty() && device.back() == L'\\') device.pop_back();
    return cluster_size != 0;
}

}  // namespace

ExtentsStatus windows_file_extents(const std::string& path, FileExtents& out, std::string* error) {
    out = FileExtents{};
    const std::wstring wide = host::utf8_to_wide(path);
    host::HostHandle file(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    if (!file) {
        const DWORD e = ::GetLastError();
        if (error) *error = "cannot open the file (error " + std::to_string(e) + ")";
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ExtentsStatus::NoFile : ExtentsStatus::Failed;
    }
    LARGE_INTEGER size{};
    uint32_t cluster_size = 0;
    std::wstring device;
    if (!::GetFileSizeEx(file.get(), &size) || !volume_of(wide, cluster_size, device)) {
        if (error) *error = "cannot tell the file's volume";
        return ExtentsStatus::Failed;
    }
    out.file_size = static_cast<uint64_t>(size.QuadPart);
    const std::optional<uint64_t> start = physical_start(device);
    if (!start) {
        if (error) *error = "cannot tell where the volume starts on its disk";
        return ExtentsStatus::Failed;
    }
    std::vector<uint8_t> reply(kReplyBytes);
    for (uint64_t vcn = 0;;) {
        const std::vector<uint8_t> request = winfs::retrieval_pointers_request(vcn);
        uint32_t returned = 0, e = 0;
        const bool done = control(file.get(), winfs::kFsctlGetRetrievalPointers, request.data(), request.size(),
                                  reply.data(), reply.size(), returned, e);
        if (!done && e == ERROR_HANDLE_EOF) return ExtentsStatus::Ok;  // no clusters: kept in its record, or empty
        if (!done && e != ERROR_MORE_DATA) {
            if (error) *error = "the file system gives no map (error " + std::to_string(e) + ")";
            return ExtentsStatus::Failed;
        }
        std::vector<winfs::RetrievalRun> runs;
        if (!winfs::read_retrieval_pointers(std::span<const uint8_t>(reply.data(), returned), runs) || runs.empty()) {
            if (error) *error = "the file system's map cannot be read";
            return ExtentsStatus::Failed;
        }
        winfs::append_retrieval_runs(runs, cluster_size, *start, out);
        if (done) return ExtentsStatus::Ok;
        vcn = runs.back().next_vcn;
    }
}

std::optional<uint64_t> windows_volume_start(const StorageAddress& volume) {
    if (!volume.volume_letter) return std::nullopt;
    std::wstring device = L"\\\\.\\";
    device += static_cast<wchar_t>(volume.volume_letter);
    device += L":";
    return physical_start(device);
}

}  // namespace tb::windisk
