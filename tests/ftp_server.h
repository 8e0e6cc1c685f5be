// A real FTP server for the tests: pyftpdlib started through python3 on a
// loopback port of its choosing, serving one folder to one account with
// write access. Tests that need it fail under CI=true when python3 or
// pyftpdlib is missing, and skip elsewhere.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "tests/e2e_support.h"
#include "tests/stamped_lines.h"

namespace tb::test {

inline bool running_in_ci() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// A python3 that has pyftpdlib; empty when there is none.
inline std::string python_with_pyftpdlib() {
    std::vector<std::string> candidates = {"/usr/bin/python3", "/usr/local/bin/python3"};
    if (const char* path = std::getenv("PATH")) {
        std::string list = path;
        for (size_t start = 0; start <= list.size();) {
            size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) candidates.push_back(list.substr(start, end - start) + "/python3");
            start = end + 1;
        }
    }
    for (const std::string& p : candidates) {
        if (!std::filesystem::exists(p)) continue;
        ProcessSpec spec;
        spec.program = p;
        spec.args = {"-c", "import pyftpdlib"};
        if (run_process(spec).exit_code == 0) return p;
    }
    return {};
}

class FtpServer {
public:
    FtpServer(const std::string& python, const std::filesystem::path& root, const std::filesystem::path& log,
              const std::string& user, const std::string& password)
        : log_(log) {
        tb::ChildOptions o;
        o.output_file = log.string();
        o.no_input = true;
        o.end_with_parent = true;
        started_ = child_.start({python, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", "0", "-w", "-d", root.string(),
                                 "-u", user, "-P", password},
                                o);
        if (!started_) return;
        const std::regex listening("starting FTP server on 127\\.0\\.0\\.1:([0-9]+)");
        eventually(
            [&] {
                std::smatch m;
                const std::string text = read_file(log_);
                if (!std::regex_search(text, m, listening)) return false;
                port_ = std::stoi(m[1]);
                return true;
            },
            30);
    }
    ~FtpServer() { child_.end(2000); }
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    int port() const { return port_; }
    std::string log() const { return read_file(log_); }

private:
    tb::ChildProcess child_;
    std::filesystem::path log_;
    bool started_ = false;
    int port_ = 0;
};

}  // namespace tb::test
