// Windows: ShellExecuteW opens files, folders and addresses with their
// associated programs and starts a viewer with its file.
#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include <string>

#include "platform/desktop_open.h"
#include "platform/windows/host_text.h"

namespace tb {

namespace {

// ShellExecuteW reports success by a value above 32.
bool shell_open(const std::wstring& file, const std::wstring& parameters) {
    const HINSTANCE done = ::ShellExecuteW(nullptr, L"open", file.c_str(),
                                           parameters.empty() ? nullptr : parameters.c_str(), nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(done) > 32;
}

class WindowsDesktop final : public Desktop {
public:
    bool open(const std::string& path_or_address) override {
        return shell_open(host::utf8_to_wide(path_or_address), {});
    }
    bool open_with(const std::string& program, const std::string& file) override {
        return shell_open(host::utf8_to_wide(program), L"\"" + host::utf8_to_wide(file) + L"\"");
    }
    std::string folder() override {
        wchar_t path[MAX_PATH] = {};
        if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
        return host::wide_to_utf8(path);
    }
};

}  // namespace

std::unique_ptr<Desktop> make_native_desktop() { return std::make_unique<WindowsDesktop>(); }

}  // namespace tb
