// The partition tables of this Windows machine's disks through the disk
// driver's layout requests (their bytes are built by
// platform/partition_layout_requests), volumes found by their disk extents
// and given letters through the mount manager, and file systems made by
// format.com. None of this can run in the tests here (wine has no disk
// driver): the request bytes are tested on their own.
#include <windows.h>
// clang-format off
#include <winioctl.h>
// clang-format on

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/random_bytes.h"
#include "platform/partition_file_system.h"
#include "platform/partition_layout_requests.h"
#include "platform/partition_mkfs.h"
#include "platform/partition_table.h"
#include "platform/partition_types.h"
#include "platform/windows/disk_ioctl.h"
#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb {

namespace {

constexpr uint64_t kAlign = 1ull << 20;
constexpr size_t kMaxEntries = 128;

struct OpenDisk {
    host::HostHandle handle;
    uint32_t number = 0;
    uint32_t sector_size = 512;
    uint64_t bytes = 0;
};

std::string system_error(const std::string& what, uint32_t code) {
    return what + ": " + host::win32_error_text(code);
}

bool open_disk(const std::string& path, OpenDisk& d, std::string& error) {
    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    unsigned n = 0;
    char tail = 0;
    if (std::sscanf(upper.c_str(), "\\\\.\\PHYSICALDRIVE%u%c", &n, &tail) != 1) {
        error = "No such disk: " + path;
        return false;
    }
    d.number = n;
    d.handle = windisk::open_device(path);
    if (!d.handle) {
        error = system_error("Cannot open " + path, GetLastError());
        return false;
    }
    DISK_GEOMETRY_EX geometry{};
    uint32_t returned = 0, code = 0;
    if (!windisk::control(d.handle.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, sizeof geometry,
                          returned, code)) {
        error = system_error("Cannot read the geometry of " + path, code);
        return false;
    }
    d.sector_size = geometry.Geometry.BytesPerSector ? geometry.Geometry.BytesPerSector : 512;
    d.bytes = static_cast<uint64_t>(geometry.DiskSize.QuadPart);
    return true;
}

bool send(OpenDisk& d, uint32_t control, const std::vector<uint8_t>& in, const char* what, std::string& error) {
    uint32_t returned = 0, code = 0;
    if (windisk::control(d.handle.get(), control, in.empty() ? nullptr : in.data(), in.size(), nullptr, 0, returned,
                         code))
        return true;
    error = system_error(what, code);
    return false;
}

bool get_layout(OpenDisk& d, LayoutReply& reply, std::string& error) {
    std::vector<uint8_t> buffer(layout_reply_bytes(kMaxEntries), 0);
    uint32_t returned = 0, code = 0;
    if (!windisk::control(d.handle.get(), kIoctlDiskGetDriveLayoutEx, nullptr, 0, buffer.data(), buffer.size(),
                          returned, code)) {
        error = system_error("Cannot read the partition table", code);
        return false;
    }
    buffer.resize(returned);
    return parse_layout_reply(buffer, d.sector_size, reply, error);
}

std::string probe(OpenDisk& d, uint64_t offset) {
    std::vector<uint8_t> start(kFileSystemProbeBytes, 0);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(d.handle.get(), start.data(), static_cast<DWORD>(start.size()), &got, &at)) return {};
    start.resize(got);
    return probe_file_system(start);
}

// Where a drive letter lies: disk and partition numbers.
std::optional<STORAGE_DEVICE_NUMBER> letter_place(char letter) {
    host::HostHandle volume = windisk::open_device_for_queries(std::string("\\\\.\\") + letter + ":");
    if (!volume) return std::nullopt;
    STORAGE_DEVICE_NUMBER number{};
    uint32_t returned = 0, code = 0;
    if (!windisk::control(volume.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, returned,
                          code))
        return std::nullopt;
    return number;
}

Guid random_guid() {
    Guid g{};
    host::random_bytes(g.data(), g.size());
    g[7] = static_cast<uint8_t>((g[7] & 0x0F) | 0x40);
    g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);
    return g;
}

// The volume (its "\\?\Volume{...}\" name) of the partition at `offset` of
// disk `number`, once the system has mounted it.
std::wstring find_volume(uint32_t number, uint64_t offset) {
    wchar_t name[MAX_PATH] = {};
    HANDLE search = FindFirstVolumeW(name, MAX_PATH);
    if (search == INVALID_HANDLE_VALUE) return {};
    std::wstring found;
    do {
        std::wstring path = name;
        if (!path.empty() && path.back() == L'\\') path.pop_back();
        host::HostHandle volume(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        if (!volume) continue;
        VOLUME_DISK_EXTENTS extents{};
        uint32_t returned = 0, code = 0;
        if (!windisk::control(volume.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents,
                              sizeof extents, returned, code))
            continue;
        if (extents.NumberOfDiskExtents >= 1 && extents.Extents[0].DiskNumber == number &&
            static_cast<uint64_t>(extents.Extents[0].StartingOffset.QuadPart) == offset)
            found = name;
    } while (found.empty() && FindNextVolumeW(search, name, MAX_PATH));
    FindVolumeClose(search);
    return found;
}

// The letter the volume is mounted at (0: none).
char volume_letter(const std::wstring& volume) {
    wchar_t names[512] = {};
    DWORD length = 0;
    if (!GetVolumePathNamesForVolumeNameW(volume.c_str(), names, 512, &length)) return 0;
    for (const wchar_t* p = names; *p; p += wcslen(p) + 1)
        if (wcslen(p) == 3 && p[1] == L':') return static_cast<char>(towupper(p[0]));
    return 0;
}

char free_letter() {
    const DWORD used = GetLogicalDrives();
    for (char c = 'D'; c <= 'Z'; ++c)
        if (!(used & (1u << (c - 'A')))) return c;
    return 0;
}

bool mount_at(const std::wstring& volume, char wanted, char& letter, std::string& error) {
    letter = volume_letter(volume);
    if (letter && (!wanted || wanted == letter)) return true;
    if (letter) {
        const std::wstring old = std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
        DeleteVolumeMountPointW(old.c_str());
    }
    letter = wanted ? wanted : free_letter();
    if (!letter) {
        error = "No free drive letter";
        return false;
    }
    const std::wstring point = std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
    if (!SetVolumeMountPointW(point.c_str(), volume.c_str())) {
        error = system_error(std::string("Cannot mount the volume at ") + letter + ":", GetLastError());
        return false;
    }
    return true;
}

std::string format_program() {
    wchar_t folder[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    return host::wide_to_utf8(std::wstring(folder, n)) + "\\format.com";
}

class WindowsPartitionTables final : public PartitionTables {
public:
    bool read(const std::string& disk_path, PartitionLayout& out, std::string& error) override {
        OpenDisk d;
        LayoutReply reply;
        if (!open_disk(disk_path, d, error) || !get_layout(d, reply, error)) return false;
        out = reply.layout;
        out.disk_sectors = d.bytes / d.sector_size;
        std::vector<std::pair<char, STORAGE_DEVICE_NUMBER>> letters;
        for (char c = 'C'; c <= 'Z'; ++c)
            if (auto place = letter_place(c); place && place->DeviceNumber == d.number) letters.emplace_back(c, *place);
        for (PartitionEntry& p : out.partitions) {
            p.file_system = probe(d, p.start_sector * d.sector_size);
            for (const auto& [c, place] : letters) {
                if (place.PartitionNumber != p.number) continue;
                p.letter = c;
                p.mount_point = std::string(1, c) + ":\\";
            }
        }
        return true;
    }

    bool create(const std::string& disk_path, const NewPartition& request, uint32_t& number,
                std::string& error) override {
        OpenDisk d;
        if (!open_disk(disk_path, d, error)) return false;
        const Guid disk_id = random_guid();
        if (!send(d, kIoctlDiskCreateDisk, create_disk_request(request.scheme, disk_id), "Cannot make the table",
                  error) ||
            !send(d, kIoctlDiskUpdateProperties, {}, "Cannot update the disk", error))
            return false;
        LayoutReply empty;
        if (!get_layout(d, empty, error)) return false;
        uint64_t end = d.bytes;
        if (request.scheme == PartitionScheme::Gpt) end = empty.first_usable_byte + empty.usable_bytes;
        else end = std::min<uint64_t>(end, (uint64_t(1) << 32) * d.sector_size);
        LayoutPartition p;
        p.offset_bytes = kAlign;
        p.length_bytes = request.size_bytes ? request.size_bytes : (end - kAlign) / kAlign * kAlign;
        p.type_code = partition_type_for(request.file_system, request.scheme);
        p.partition_id = random_guid();
        p.sector_size = d.sector_size;
        if (end <= kAlign || p.length_bytes == 0 || p.offset_bytes + p.length_bytes > end) {
            error = "The partition does not fit on the disk";
            return false;
        }
        const std::vector<uint8_t> layout = set_layout_request(request.scheme, disk_id, p);
        if (!send(d, kIoctlDiskSetDriveLayoutEx, layout, "Cannot write the partition table", error) ||
            !send(d, kIoctlDiskUpdateProperties, {}, "Cannot update the disk", error))
            return false;
        number = 1;
        return true;
    }

    bool format(const std::string& disk_path, uint32_t number, const NewPartition& request,
                std::string& error) override {
        PartitionLayout layout;
        if (!read(disk_path, layout, error)) return false;
        const PartitionEntry* part = nullptr;
        for (const PartitionEntry& p : layout.partitions)
            if (p.number == number) part = &p;
        OpenDisk d;
        if (!part || !open_disk(disk_path, d, error)) {
            if (error.empty()) error = "No partition " + std::to_string(number);
            return false;
        }
        d.handle.reset();
        std::wstring volume;
        for (int i = 0; i < 40 && volume.empty(); ++i) {  // the system mounts the new partition by itself
            volume = find_volume(d.number, part->start_sector * layout.sector_size);
            if (volume.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        if (volume.empty()) {
            error = "The system did not mount the new partition";
            return false;
        }
        char letter = 0;
        if (!mount_at(volume, request.letter, letter, error)) return false;
        std::vector<std::string> argv{format_program(), std::string(1, letter) + ":", "/FS:" + request.file_system,
                                      "/Q", "/Y"};
        if (!request.label.empty()) argv.push_back("/V:" + request.label);
        return run_mkfs(argv, error);
    }

    bool remove(const std::string& disk_path, std::string& error) override {
        OpenDisk d;
        if (!open_disk(disk_path, d, error)) return false;
        // Every volume of the disk is locked and dismounted while its table goes.
        std::vector<host::HostHandle> held;
        for (char c = 'C'; c <= 'Z'; ++c) {
            auto place = letter_place(c);
            if (!place || place->DeviceNumber != d.number) continue;
            host::HostHandle volume = windisk::open_device(std::string("\\\\.\\") + c + ":");
            uint32_t returned = 0, code = 0;
            if (!volume ||
                !windisk::control(volume.get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, returned, code)) {
                error = std::string(1, c) + ": is in use";
                return false;
            }
            windisk::control(volume.get(), FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, returned, code);
            held.push_back(std::move(volume));
        }
        return send(d, kIoctlDiskDeleteDriveLayout, {}, "Cannot delete the partition table", error) &&
               send(d, kIoctlDiskUpdateProperties, {}, "Cannot update the disk", error);
    }

    std::vector<std::string> file_systems() override { return {"NTFS", "EXFAT", "FAT32"}; }
};

}  // namespace

std::unique_ptr<PartitionTables> make_native_partition_tables() { return std::make_unique<WindowsPartitionTables>(); }

}  // namespace tb
