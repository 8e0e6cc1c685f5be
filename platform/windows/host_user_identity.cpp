#include "platform/host/user_identity.h"

#include <windows.h>
#include <sddl.h>

#include <system_error>
#include <vector>

#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb::host {

namespace {

HostHandle process_token() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "OpenProcessToken");
    return HostHandle(token);
}

}  // namespace

std::string user_tag() {
    HostHandle token = process_token();
    DWORD needed = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed > 0 ? needed : sizeof(TOKEN_USER));
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                               &needed))
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "GetTokenInformation");
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(user->User.Sid, &text))
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "ConvertSidToStringSidW");
    std::string tag = wide_to_utf8(text);
    ::LocalFree(text);
    return tag;
}

bool is_administrator() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    HostHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        return false;
    return elevation.TokenIsElevated != 0;
}

}  // namespace tb::host
