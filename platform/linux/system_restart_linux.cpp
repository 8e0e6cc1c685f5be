// This machine's restart on Linux. In order: "systemctl reboot|poweroff"
// when systemd runs (it stops the services and unmounts the file systems),
// else sync() and reboot(2). Abruptly: the magic SysRq key through
// /proc/sysrq-trigger ('b' resets, 'o' powers off), with no sync at all.
#include <fcntl.h>
#include <spawn.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/format.h"
#include "platform/linux/unique_fd.h"
#include "platform/system_restart.h"

extern char** environ;

namespace tb {

using linuxdisk::UniqueFd;

namespace {

bool systemd_runs() {
    struct stat st{};
    return ::stat("/run/systemd/system", &st) == 0 && S_ISDIR(st.st_mode);
}

// Runs systemctl with `verb`; true when it accepted the request.
bool ask_systemd(const char* verb, bool forced) {
    std::vector<std::string> args{"systemctl", verb};
    if (forced) args.push_back("--force");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "systemctl", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class LinuxSystemRestart final : public SystemRestart {
public:
    RestartOutcome orderly(MachineAction action, bool forced) override {
        const bool restart = action == MachineAction::Restart;
        if (systemd_runs() && ask_systemd(restart ? "reboot" : "poweroff", forced)) return RestartOutcome::ok();
        ::sync();
        if (::reboot(restart ? RB_AUTOBOOT : RB_POWER_OFF) == 0) return RestartOutcome::ok();
        return RestartOutcome::refused(kRestartRefused, fmt("reboot: %s", std::strerror(errno)));
    }

    RestartOutcome abrupt(MachineAction action) override {
        UniqueFd fd(::open("/proc/sysrq-trigger", O_WRONLY | O_CLOEXEC));
        if (!fd) return RestartOutcome::refused(kRestartRefused, fmt("/proc/sysrq-trigger: %s", std::strerror(errno)));
        const char key = action == MachineAction::Restart ? 'b' : 'o';
        if (::write(fd.get(), &key, 1) != 1)
            return RestartOutcome::refused(kRestartRefused, fmt("/proc/sysrq-trigger: %s", std::strerror(errno)));
        return RestartOutcome::ok();
    }
};

}  // namespace

std::unique_ptr<SystemRestart> make_native_system_restart() { return std::make_unique<LinuxSystemRestart>(); }

}  // namespace tb
