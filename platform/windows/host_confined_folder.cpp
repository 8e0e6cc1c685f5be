#include "platform/host/confined_folder.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb::host {

namespace {

// Names the system takes for devices, whatever the folder or extension.
bool is_device_name(const std::wstring& name) {
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    for (wchar_t& c : stem) c = static_cast<wchar_t>(std::towupper(c));
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* d : kDevices)
        if (stem == d) return true;
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           std::iswdigit(stem[3]);
}

// A real folder: not a link, junction or other reparse point.
bool is_plain_folder(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Seconds since 1970 as the system's 100-nanosecond ticks since 1601.
FILETIME file_time_of(std::int64_t seconds) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(seconds) + 11644473600ULL) * 10000000ULL;
    FILETIME ft{};
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

class WindowsConfinedFile final : public ConfinedFile {
public:
    WindowsConfinedFile(HostHandle file, std::wstring path) : file_(std::move(file)), path_(std::move(path)) {}
    ~WindowsConfinedFile() override {
        if (file_) {
            file_.reset();
            ::DeleteFileW(path_.c_str());
        }
    }

    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            DWORD written = 0;
            if (!::WriteFile(file_.get(), data, piece, &written, nullptr) || written == 0) return false;
            data += written;
            size -= written;
        }
        return true;
    }

    bool finish(unsigned mode, std::int64_t mtime) override {
        if (!file_) return false;
        if (mtime > 0) {
            const FILETIME ft = file_time_of(mtime);
            ::SetFileTime(file_.get(), nullptr, &ft, &ft);
        }
        const bool closed = ::CloseHandle(file_.release()) != 0;
        if (!closed) {
            ::DeleteFileW(path_.c_str());
            return false;
        }
        if (!(mode & 0200)) ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
        return true;
    }

private:
    HostHandle file_;
    std::wstring path_;
};

}  // namespace

struct ConfinedFolder::Impl {
    std::wstring root;

    // The folder chain below the root, made where missing when asked; empty
    // when a part is a link, a device name or cannot be made.
    std::wstring walk(const std::vector<std::string>& folders, bool make) const {
        std::wstring path = root;
        for (const std::string& part : folders) {
            const std::wstring name = utf8_to_wide(part);
            if (name.empty() || is_device_name(name)) return {};
            path += L'\\';
            path += name;
            if (make && !::CreateDirectoryW(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
                return {};
            if (!is_plain_folder(path)) return {};
        }
        return path;
    }
};

ConfinedFolder::ConfinedFolder(const std::filesystem::path& root) : impl_(std::make_unique<Impl>()) {
    std::wstring path = root.wstring();
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    if (is_plain_folder(path)) impl_->root = path;
}

ConfinedFolder::~ConfinedFolder() = default;

bool ConfinedFolder::is_open() const { return !impl_->root.empty(); }

bool ConfinedFolder::make_folders(const std::vector<std::string>& folders) const {
    return is_open() && !impl_->walk(folders, true).empty();
}

std::unique_ptr<ConfinedFile> ConfinedFolder::create_file(const std::vector<std::string>& folders,
                                                          const std::string& leaf) const {
    if (!is_open()) return nullptr;
    const std::wstring folder = impl_->walk(folders, true);
    const std::wstring name = utf8_to_wide(leaf);
    if (folder.empty() || name.empty() || is_device_name(name)) return nullptr;
    const std::wstring path = folder + L'\\' + name;
    // An existing link in the file's place is never written through.
    const DWORD existing = ::GetFileAttributesW(path.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES &&
        (existing & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        return nullptr;
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(path.c_str(), existing & ~FILE_ATTRIBUTE_READONLY);
    HostHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return nullptr;
    return std::make_unique<WindowsConfinedFile>(std::move(file), path);
}

}  // namespace tb::host
