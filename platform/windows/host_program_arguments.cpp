#include "platform/host/program_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/windows/host_text.h"

namespace tb::host {

std::vector<std::string> program_arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) out.push_back(wide_to_utf8(wide[i]));
    ::LocalFree(wide);
    return out;
}

}  // namespace tb::host
