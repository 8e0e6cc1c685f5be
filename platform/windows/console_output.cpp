#include "platform/console_output.h"

#include <windows.h>
#include <io.h>
#include <stdio.h>

#include "platform/paths.h"

namespace tb {

bool console_output_open() {
    const int fd = ::_fileno(stdout);
    if (fd < 0) return false;
    const intptr_t handle = ::_get_osfhandle(fd);
    return handle != -1 && handle != -2;  // -2: no stream behind it (a program without a console)
}

void reopen_console_output(const std::string& target, bool append) {
    const wchar_t* mode = append ? L"a" : L"w";
    // The console's screen buffer stands for the terminal.
    const std::filesystem::path path = target.empty() ? std::filesystem::path(L"CONOUT$") : fs_path(target);
    std::fflush(stdout);
    if (!::_wfreopen(path.c_str(), mode, stdout)) ::_wfreopen(L"NUL", L"w", stdout);
}

}  // namespace tb
