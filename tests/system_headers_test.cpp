// Only the system folders of the platform layer (platform/linux/,
// platform/windows/) include the headers of an operating system; every other
// source - the platform layer's own interfaces and the simulated machine
// included - builds the same on every system.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = TAMBLOR_SOURCE_DIR;

// Headers of POSIX, Linux and Windows (matched at the start of the included name).
const std::vector<std::string> kSystemHeaders = {
    "unistd.h", "fcntl.h", "signal.h", "pthread.h", "grp.h", "pwd.h", "dirent.h", "poll.h", "termios.h",
    "dlfcn.h", "errno.h", "mntent.h", "sys/", "linux/", "scsi/", "netinet/", "arpa/", "liburing",
    "windows.h", "winioctl.h", "winsock2.h", "ws2tcpip.h", "setupapi.h", "cfgmgr32.h", "tlhelp32.h",
    "shlobj.h", "io.h", "direct.h", "process.h", "ntddscsi.h", "ntddstor.h", "devguid.h", "bcrypt.h"};

bool is_system_header(const std::string& name) {
    for (const auto& h : kSystemHeaders)
        if (name.rfind(h, 0) == 0) return true;
    return false;
}

bool in_system_folder(const fs::path& relative) {
    const std::string p = relative.generic_string();
    return p.rfind("platform/linux/", 0) == 0 || p.rfind("platform/windows/", 0) == 0;
}

// "file: <header>" for every system header included outside the system folders below `folder`.
std::vector<std::string> system_includes_under(const std::string& folder) {
    std::vector<std::string> found;
    if (!fs::exists(kRoot / folder)) return found;
    for (const auto& entry : fs::recursive_directory_iterator(kRoot / folder)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
        const fs::path relative = fs::relative(entry.path(), kRoot);
        if (in_system_folder(relative)) continue;
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            const size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line.compare(start, 8, "#include") != 0) continue;
            const size_t open = line.find('<', start);
            const size_t close = open == std::string::npos ? open : line.find('>', open);
            if (close == std::string::npos) continue;
            const std::string name = line.substr(open + 1, close - open - 1);
            if (is_system_header(name)) found.push_back(relative.generic_string() + ": <" + name + ">");
        }
    }
    return found;
}

std::string listed(const std::vector<std::string>& found) {
    std::string text;
    for (const auto& f : found) text += "  " + f + "\n";
    return text;
}

}  // namespace

TEST(SystemHeaders, OnlyThePlatformSystemFoldersIncludeThem) {
    std::vector<std::string> found;
    for (const char* folder : {"app", "common", "disk", "platform", "script", "ui", "workload", "tools"}) {
        const auto more = system_includes_under(folder);
        found.insert(found.end(), more.begin(), more.end());
    }
    EXPECT_TRUE(found.empty()) << listed(found);
}
