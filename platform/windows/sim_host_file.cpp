#include "platform/sim/host_file.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>

#include "platform/windows/host_text.h"
#include "platform/windows/sim_owner.h"

namespace tb::sim {

namespace {

constexpr DWORD kMostPerCall = 1u << 30;

HANDLE handle_of(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

void tell(std::string* why) {
    if (why) *why = host::win32_error_text(::GetLastError());
}

}  // namespace

void HostFile::reset(std::intptr_t handle) {
    if (handle_ != kNone) ::CloseHandle(handle_of(handle_));
    handle_ = handle;
}

bool HostFile::read_at(uint64_t offset, std::span<uint8_t> out) const {
    size_t done = 0;
    while (done < out.size()) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(out.size() - done, kMostPerCall));
        DWORD got = 0;
        OVERLAPPED o = at(offset + done);
        if (!::ReadFile(handle_of(handle_), out.data() + done, want, &got, &o)) {
            if (::GetLastError() != ERROR_HANDLE_EOF) return false;
            got = 0;
        }
        if (got == 0) {  // beyond the end of a short file: zeros
            std::memset(out.data() + done, 0, out.size() - done);
            return true;
        }
        done += got;
    }
    return true;
}

bool HostFile::write_at(uint64_t offset, std::span<const uint8_t> in) const {
    size_t done = 0;
    while (done < in.size()) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(in.size() - done, kMostPerCall));
        DWORD put = 0;
        OVERLAPPED o = at(offset + done);
        if (!::WriteFile(handle_of(handle_), in.data() + done, want, &put, &o) || put == 0) return false;
        done += put;
    }
    return true;
}

// A sparse file gives zeroed ranges back to the volume; the sparse flag is
// set first, as a file that was not made here may lack it.
bool HostFile::punch_hole(uint64_t offset, uint64_t length) const {
    DWORD returned = 0;
    FILE_SET_SPARSE_BUFFER sparse{};
    sparse.SetSparse = TRUE;
    ::DeviceIoControl(handle_of(handle_), FSCTL_SET_SPARSE, &sparse, sizeof sparse, nullptr, 0, &returned, nullptr);
    FILE_ZERO_DATA_INFORMATION zero{};
    zero.FileOffset.QuadPart = static_cast<LONGLONG>(offset);
    zero.BeyondFinalZero.QuadPart = static_cast<LONGLONG>(offset + length);
    return ::DeviceIoControl(handle_of(handle_), FSCTL_SET_ZERO_DATA, &zero, sizeof zero, nullptr, 0, &returned,
                             nullptr) != 0;
}

bool HostFile::set_size(uint64_t size, std::string* why) const {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (::SetFileInformationByHandle(handle_of(handle_), FileEndOfFileInfo, &end, sizeof end)) return true;
    tell(why);
    return false;
}

uint64_t HostFile::allocated_bytes(uint64_t fallback) const {
    FILE_STANDARD_INFO info{};
    if (!::GetFileInformationByHandleEx(handle_of(handle_), FileStandardInfo, &info, sizeof info)) return fallback;
    return static_cast<uint64_t>(info.AllocationSize.QuadPart);
}

bool HostFile::sync() const { return ::FlushFileBuffers(handle_of(handle_)) != 0; }

// The user's temporary folder, where the machine's folder lives, is closed
// to other users already: what is private is decided by the owner alone.
bool HostFile::facts(HostFileFacts& out, std::string* why) const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle_of(handle_), &info)) {
        tell(why);
        return false;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) out.kind = HostNodeKind::Other;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) out.kind = HostNodeKind::Folder;
    else if (::GetFileType(handle_of(handle_)) == FILE_TYPE_DISK) out.kind = HostNodeKind::Regular;
    else out.kind = HostNodeKind::Other;
    out.links = info.nNumberOfLinks;
    out.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    out.private_to_owner = true;
    out.access = "owner only";
    return owner_sid_text(handle_of(handle_), out.owner, why);
}

}  // namespace tb::sim
