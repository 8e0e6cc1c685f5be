#include "platform/host/temp_folder.h"

#include <windows.h>

#include <string>

namespace tb::host {

std::filesystem::path temp_folder() {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    DWORD n = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n > buffer.size()) {
        buffer.assign(n, L'\0');
        n = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (n == 0 || n > buffer.size()) return std::filesystem::path(L"C:\\Windows\\Temp");
    buffer.resize(n);
    // The system's answer ends in a separator; the folder itself is wanted.
    while (buffer.size() > 3 && (buffer.back() == L'\\' || buffer.back() == L'/')) buffer.pop_back();
    return std::filesystem::path(buffer);
}

}  // namespace tb::host
