#include "platform/host/open_file.h"

#include <stdio.h>

#include <string>

namespace tb::host {

std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
    std::wstring wide_mode;
    for (const char* c = mode; *c != '\0'; ++c) wide_mode += static_cast<wchar_t>(*c);
    return ::_wfopen(path.c_str(), wide_mode.c_str());
}

}  // namespace tb::host
