#include "platform/host/replace_file.h"

#include <windows.h>

#include "platform/windows/host_text.h"

namespace tb::host {

bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to,
                  std::string* error) {
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DWORD code = ::GetLastError();
    if (error != nullptr) *error = win32_error_text(code);
    return false;
}

}  // namespace tb::host
