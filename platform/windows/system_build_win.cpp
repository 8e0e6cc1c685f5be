#include <windows.h>

#include <cwchar>

#include "platform/system_build.h"

namespace tb {

uint32_t windows_build_number() {
    wchar_t text[32] = {};
    DWORD bytes = sizeof text;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"CurrentBuild",
                       RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
        return 0;
    wchar_t* end = nullptr;
    const unsigned long build = std::wcstoul(text, &end, 10);
    return end != text && *end == L'\0' ? static_cast<uint32_t>(build) : 0;
}

}  // namespace tb
