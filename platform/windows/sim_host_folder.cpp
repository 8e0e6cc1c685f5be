#include "platform/sim/host_folder.h"

#include <windows.h>
#include <winioctl.h>

#include <filesystem>
#include <system_error>

#include "platform/sim/host_path.h"
#include "platform/windows/host_text.h"
#include "platform/windows/sim_owner.h"

namespace tb::sim {

namespace {

// Read, write and read the owner; others may read and write beside us (as
// on Linux) but not delete or rename the file while it is open.
constexpr DWORD kFileAccess = GENERIC_READ | GENERIC_WRITE | READ_CONTROL;
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
// The name itself is opened, never what a reparse point leads to.
constexpr DWORD kFileFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kFolderFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

std::filesystem::path full_path(const HostFolder* in, const std::string& name) {
    return host_path(in ? in->path_of(name) : name);
}

std::string last_error_text() { return host::win32_error_text(::GetLastError()); }

bool is_reparse_point(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Takes an opened handle unless it is a reparse point.
OpenStatus take(HANDLE h, HostFile& out) {
    if (is_reparse_point(h)) {
        ::CloseHandle(h);
        return OpenStatus::Link;
    }
    out.reset(reinterpret_cast<std::intptr_t>(h));
    return OpenStatus::Opened;
}

OpenStatus failed(std::string* why) {
    if (why) *why = last_error_text();
    return OpenStatus::Failed;
}

void make_sparse(HANDLE h) {
    FILE_SET_SPARSE_BUFFER sparse{};
    sparse.SetSparse = TRUE;
    DWORD returned = 0;
    ::DeviceIoControl(h, FSCTL_SET_SPARSE, &sparse, sizeof sparse, nullptr, 0, &returned, nullptr);
}

}  // namespace

OpenStatus create_private_file(const HostFolder* in, const std::string& name, HostFile& out, std::string* why) {
    OwnedByUser owner;
    HANDLE h = ::CreateFileW(full_path(in, name).c_str(), kFileAccess, kShare, owner.attributes(), CREATE_NEW,
                             kFileFlags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = ::GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return OpenStatus::Exists;
        return failed(why);
    }
    make_sparse(h);  // the disk's size costs no room until it is written
    return take(h, out);
}

OpenStatus open_existing_file(const HostFolder* in, const std::string& name, HostFile& out, std::string* why) {
    HANDLE h = ::CreateFileW(full_path(in, name).c_str(), kFileAccess, kShare, nullptr, OPEN_EXISTING, kFileFlags,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) return failed(why);
    return take(h, out);
}

void remove_folder_entry(const HostFolder* in, const std::string& name) {
    ::DeleteFileW(full_path(in, name).c_str());
}

OpenStatus open_private_folder(const HostFolder* in, const std::string& name, HostFolder& out, std::string* why) {
    const std::filesystem::path path = full_path(in, name);
    OwnedByUser owner;
    if (!::CreateDirectoryW(path.c_str(), owner.attributes()) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        if (why) *why = last_error_text();
        return OpenStatus::CannotCreate;
    }
    HANDLE h = ::CreateFileW(path.c_str(), kFolderAccess, kShare, nullptr, OPEN_EXISTING, kFolderFlags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failed(why);
    OpenStatus status = take(h, out.handle);
    if (status == OpenStatus::Opened) out.path = in ? in->path_of(name) : name;
    return status;
}

bool make_parent_folders(const std::string& path, std::string* why) {
    const std::filesystem::path parent = host_path(path).parent_path();
    if (parent.empty() || parent == parent.root_path()) return true;
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (!ec) return true;
    if (why) *why = ec.message();
    return false;
}

}  // namespace tb::sim
