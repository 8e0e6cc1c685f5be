#include "platform/host/copy_file.h"

#include <windows.h>

#include "platform/windows/host_text.h"

namespace tb::host {

namespace {

struct ProgressContext {
    const CopyProgress* progress = nullptr;
    bool stopped = false;
};

DWORD CALLBACK on_progress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                           HANDLE, HANDLE, LPVOID data) {
    auto* context = static_cast<ProgressContext*>(data);
    if (!context->progress || !*context->progress) return PROGRESS_CONTINUE;
    if ((*context->progress)(static_cast<std::uint64_t>(done.QuadPart), static_cast<std::uint64_t>(total.QuadPart)))
        return PROGRESS_CONTINUE;
    context->stopped = true;
    return PROGRESS_CANCEL;
}

// Whether the source is there and readable, to tell which side a failed copy failed on.
bool source_readable(const std::filesystem::path& from) {
    HANDLE h = ::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
}

}  // namespace

CopyResult copy_file(const std::filesystem::path& from, const std::filesystem::path& to,
                     const CopyProgress& progress) {
    const DWORD attributes = ::GetFileAttributesW(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {CopyOutcome::SourceFailed, win32_error_text(::GetLastError())};
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return {CopyOutcome::SourceFailed, "a folder, not a file"};
    ProgressContext context{&progress, false};
    BOOL cancel = FALSE;
    if (::CopyFileExW(from.c_str(), to.c_str(), on_progress, &context, &cancel, 0)) {
        CopyResult done;
        done.by_kernel = true;
        if (progress) {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (::GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &data)) {
                const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
                progress(size, size);
            }
        }
        return done;
    }
    const DWORD code = ::GetLastError();
    ::DeleteFileW(to.c_str());
    if (context.stopped || code == ERROR_REQUEST_ABORTED) return {CopyOutcome::Stopped, {}};
    return {source_readable(from) ? CopyOutcome::DestinationFailed : CopyOutcome::SourceFailed,
            win32_error_text(code)};
}

}  // namespace tb::host
