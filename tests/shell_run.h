// Runs a shell command line for the end-to-end tests and collects what it
// printed (standard output and error together) and its exit code.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace tb::test {

struct ShellResult {
    int exit_code = -1;  // -1 when the command did not exit normally
    std::string output;
};

inline ShellResult run_shell(const std::string& command) {
    ShellResult r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
    const int status = ::pclose(p);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace tb::test
