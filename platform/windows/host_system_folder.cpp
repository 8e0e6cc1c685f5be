#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/host/random_bytes.h"
#include "platform/paths.h"
#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb {

namespace {

// Whether this user may create files in the folder: one is made and dropped.
bool folder_writable(const std::wstring& folder) {
    std::uint64_t tag = 0;
    host::random_bytes(&tag, sizeof tag);
    std::wstring probe = folder;
    if (!probe.empty() && probe.back() != L'\\' && probe.back() != L'/') probe += L'\\';
    probe += L".tamblor-" + std::to_wstring(tag);
    host::HostHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(file);
}

std::wstring environment_folder(const wchar_t* name) {
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = ::GetEnvironmentVariableW(name, buffer, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return {};
    std::wstring out(buffer, n);
    for (wchar_t& c : out)
        if (c == L'\\') c = L'/';
    while (!out.empty() && out.back() == L'/') out.pop_back();
    return out;
}

// `path` is `root` or lies below it (letter case ignored, as the file system does).
bool lies_under(const std::wstring& path, const std::wstring& root) {
    if (root.empty() || path.size() < root.size()) return false;
    if (::CompareStringOrdinal(path.data(), static_cast<int>(root.size()), root.data(),
                               static_cast<int>(root.size()), TRUE) != CSTR_EQUAL)
        return false;
    return path.size() == root.size() || path[root.size()] == L'/';
}

}  // namespace

bool is_system_folder(const std::string& folder) {
    const std::string path = absolute_path(folder);
    // A folder still to be made is judged by the nearest one that exists.
    std::string existing = path;
    while (!folder_exists(existing) && path_folder(existing) != existing && !path_folder(existing).empty())
        existing = path_folder(existing);
    if (!folder_writable(host::utf8_to_wide(existing))) return true;
    const std::wstring wide = host::utf8_to_wide(path);
    for (const wchar_t* name : {L"SystemRoot", L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"})
        if (lies_under(wide, environment_folder(name))) return true;
    return false;
}

}  // namespace tb
