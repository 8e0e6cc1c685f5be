#include "platform/windows/sim_owner.h"

#include <aclapi.h>
#include <sddl.h>

#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb::sim {

OwnedByUser::OwnedByUser() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return;
    host::HostHandle token(raw);
    DWORD needed = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
    if (needed == 0) return;
    token_user_.resize(needed);
    if (!::GetTokenInformation(token.get(), TokenUser, token_user_.data(), needed, &needed)) return;
    PSID user = reinterpret_cast<TOKEN_USER*>(token_user_.data())->User.Sid;
    if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return;
    if (!::SetSecurityDescriptorOwner(&descriptor_, user, FALSE)) return;
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    ready_ = true;
}

bool owner_sid_text(HANDLE handle, std::string& out, std::string* why) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD rc = ::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                 nullptr, &descriptor);
    if (rc != ERROR_SUCCESS) {
        if (why) *why = host::win32_error_text(rc);
        return false;
    }
    wchar_t* text = nullptr;
    bool ok = owner && ::ConvertSidToStringSidW(owner, &text);
    if (ok) {
        out = host::wide_to_utf8(text);
        ::LocalFree(text);
    } else if (why) {
        *why = host::win32_error_text(::GetLastError());
    }
    ::LocalFree(descriptor);
    return ok;
}

}  // namespace tb::sim
