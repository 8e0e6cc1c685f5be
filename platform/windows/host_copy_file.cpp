#include "platform/host/copy_file.h"

#include <windows.h>

#include <vector>

#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb::host {

namespace {

// Bytes per read and write: progress and stops come between them.
constexpr DWORD kStretch = 1u << 20;

CopyResult failed(CopyOutcome outcome) { return {outcome, win32_error_text(::GetLastError())}; }

// The source is read and the destination written in stretches of our own
// (rather than by CopyFileEx, whose progress calls not every system makes),
// so that a stop and the progress come at the same points everywhere.
CopyResult copy_stretches(HANDLE in, HANDLE out, std::uint64_t total, const CopyProgress& progress) {
    std::vector<char> buffer(kStretch);
    std::uint64_t done = 0;
    for (;;) {
        if (progress && !progress(done, total)) return {CopyOutcome::Stopped, {}};
        DWORD got = 0;
        if (!::ReadFile(in, buffer.data(), kStretch, &got, nullptr)) return failed(CopyOutcome::SourceFailed);
        if (got == 0) break;
        for (DWORD put = 0; put < got;) {
            DWORD wrote = 0;
            if (!::WriteFile(out, buffer.data() + put, got - put, &wrote, nullptr) || wrote == 0)
                return failed(CopyOutcome::DestinationFailed);
            put += wrote;
        }
        done += got;
    }
    if (done < total) return {CopyOutcome::SourceFailed, "the source ended before its size"};
    if (!::FlushFileBuffers(out)) return failed(CopyOutcome::DestinationFailed);
    if (progress) progress(done, total);
    return {};
}

}  // namespace

CopyResult copy_file(const std::filesystem::path& from, const std::filesystem::path& to,
                     const CopyProgress& progress) {
    const DWORD attributes = ::GetFileAttributesW(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return failed(CopyOutcome::SourceFailed);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return {CopyOutcome::SourceFailed, "a folder, not a file"};
    HostHandle in(::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return failed(CopyOutcome::SourceFailed);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(in.get(), &size)) return failed(CopyOutcome::SourceFailed);
    HostHandle out(::CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!out) return failed(CopyOutcome::DestinationFailed);
    const CopyResult result = copy_stretches(in.get(), out.get(), static_cast<std::uint64_t>(size.QuadPart), progress);
    out.reset();
    if (result.outcome != CopyOutcome::Copied) ::DeleteFileW(to.c_str());
    return result;
}

}  // namespace tb::host
