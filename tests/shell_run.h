// Runs a shell command line for the Linux-only tests that need a shell
// (another user through setpriv, loop devices) and collects what it printed
// (standard output and error together) and its exit code. Tests that run on
// every system start programs through run_process (tests/process_runner.h).
#pragma once

#include "tests/process_runner.h"

#ifndef _WIN32
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace tb::test {

inline ShellResult run_shell(const std::string& command) {
    ShellResult r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
    const int status = ::pclose(p);
    r.exited = WIFEXITED(status);
    r.exit_code = r.exited ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace tb::test
#endif
