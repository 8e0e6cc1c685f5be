#include "platform/console_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/paths.h"

namespace tb {

bool console_output_open() { return ::fcntl(STDOUT_FILENO, F_GETFD) != -1; }

void reopen_console_output(const std::string& target, bool append) {
    const char* mode = append ? "a" : "w";
    const std::string path = target.empty() ? std::string("/dev/tty") : native_path(target);
    std::fflush(stdout);
    if (!std::freopen(path.c_str(), mode, stdout)) std::freopen("/dev/null", "w", stdout);
}

}  // namespace tb
