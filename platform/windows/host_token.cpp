#include "platform/windows/host_token.h"

#include <system_error>

#include "platform/windows/host_handle.h"

namespace tb::host {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

}  // namespace

std::vector<unsigned char> process_token_information(TOKEN_INFORMATION_CLASS what) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) fail("OpenProcessToken");
    HostHandle token(raw);
    DWORD needed = 0;
    ::GetTokenInformation(token.get(), what, nullptr, 0, &needed);
    if (needed == 0) fail("GetTokenInformation");
    std::vector<unsigned char> buffer(needed);
    if (!::GetTokenInformation(token.get(), what, buffer.data(), needed, &needed)) fail("GetTokenInformation");
    return buffer;
}

PSID process_user_sid(std::vector<unsigned char>& buffer) {
    buffer = process_token_information(TokenUser);
    return reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
}

}  // namespace tb::host
