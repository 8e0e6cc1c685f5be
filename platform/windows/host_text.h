// UTF-8 <-> UTF-16 at the seam with the wide Win32 calls, and the text of a
// Win32 error code.
#pragma once

#include <string>
#include <string_view>

namespace tb::host {

std::wstring utf8_to_wide(std::string_view text);
std::string wide_to_utf8(std::wstring_view text);

// The system's message for a GetLastError() code, in UTF-8, without the
// trailing line break.
std::string win32_error_text(unsigned long code);

}  // namespace tb::host
