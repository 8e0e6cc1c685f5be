#include "platform/host/private_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <system_error>
#include <vector>

#include "platform/windows/host_token.h"

namespace tb::host {

namespace {

// A protected access list granting this user alone full control of the
// folder and everything made in it.
std::wstring private_descriptor_text() {
    std::vector<unsigned char> buffer;
    PSID sid = process_user_sid(buffer);
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return {};
    std::wstring sddl = L"D:P(A;OICI;FA;;;" + std::wstring(text) + L")";
    ::LocalFree(text);
    return sddl;
}

}  // namespace

bool create_private_folder(const std::filesystem::path& path) {
    std::wstring sddl;
    try {
        sddl = private_descriptor_text();
    } catch (const std::system_error&) {
        return false;
    }
    if (sddl.empty()) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const bool made = ::CreateDirectoryW(path.c_str(), &attributes) != 0;
    ::LocalFree(descriptor);
    return made;
}

bool is_own_folder(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool own = false;
    try {
        // An elevated administrator's new objects may be owned by its default
        // owner (the administrators group) rather than by the user.
        std::vector<unsigned char> user_buffer;
        PSID user = process_user_sid(user_buffer);
        std::vector<unsigned char> owner_buffer = process_token_information(TokenOwner);
        PSID default_owner = reinterpret_cast<TOKEN_OWNER*>(owner_buffer.data())->Owner;
        own = owner != nullptr && (::EqualSid(owner, user) || ::EqualSid(owner, default_owner));
    } catch (const std::system_error&) {
        own = false;
    }
    ::LocalFree(descriptor);
    return own;
}

}  // namespace tb::host
