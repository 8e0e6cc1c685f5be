#include "platform/host/user_identity.h"

#include <windows.h>
#include <sddl.h>

#include <system_error>
#include <vector>

#include "platform/windows/host_text.h"
#include "platform/windows/host_token.h"

namespace tb::host {

std::string user_tag() {
    std::vector<unsigned char> buffer;
    PSID sid = process_user_sid(buffer);
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text))
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "ConvertSidToStringSidW");
    std::string tag = wide_to_utf8(text);
    ::LocalFree(text);
    return tag;
}

bool is_administrator() {
    try {
        std::vector<unsigned char> buffer = process_token_information(TokenElevation);
        if (buffer.size() < sizeof(TOKEN_ELEVATION)) return false;
        return reinterpret_cast<const TOKEN_ELEVATION*>(buffer.data())->TokenIsElevated != 0;
    } catch (const std::system_error&) {
        return false;  // a token we cannot read grants nothing
    }
}

}  // namespace tb::host
