// Linux: xdg-open for files, folders and addresses; a viewer is started
// directly. The started program is left to run; a thread of ours reaps it.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop_open.h"

extern char** environ;

namespace tb {

namespace {

bool start_detached(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

class LinuxDesktop final : public Desktop {
public:
    bool open(const std::string& path_or_address) override { return start_detached({"xdg-open", path_or_address}); }
    bool open_with(const std::string& program, const std::string& file) override {
        return start_detached({program, file});
    }
    std::string folder() override {
        if (const char* chosen = std::getenv("XDG_DESKTOP_DIR"); chosen && *chosen) return chosen;
        const char* home = std::getenv("HOME");
        if (!home || !*home) return {};
        std::error_code ec;
        const std::filesystem::path desk = std::filesystem::path(home) / "Desktop";
        return std::filesystem::is_directory(desk, ec) ? desk.string() : std::string(home);
    }
};

}  // namespace

std::unique_ptr<Desktop> make_native_desktop() { return std::make_unique<LinuxDesktop>(); }

}  // namespace tb
