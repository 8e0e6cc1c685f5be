// This machine's restart on Windows: the shutdown privilege is enabled and
// the system asked to restart or power off. The abrupt forms reset the
// chipset through a port-I/O kernel driver, which this program does not
// ship: they are refused with "Load Kernel Driver Fail".
#include <windows.h>

#include "common/format.h"
#include "platform/system_restart.h"

namespace tb {

namespace {

// Handles closed when the scope ends.
class TokenHandle {
public:
    TokenHandle() = default;
    ~TokenHandle() {
        if (h_) CloseHandle(h_);
    }
    TokenHandle(const TokenHandle&) = delete;
    TokenHandle& operator=(const TokenHandle&) = delete;
    HANDLE* out() { return &h_; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_ = nullptr;
};

bool enable_shutdown_privilege(DWORD& error) {
    TokenHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.out())) {
        error = GetLastError();
        return false;
    }
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &tp.Privileges[0].Luid) ||
        !AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr)) {
        error = GetLastError();
        return false;
    }
    error = GetLastError();  // ERROR_NOT_ALL_ASSIGNED when the privilege is not held
    return error == ERROR_SUCCESS;
}

class WindowsSystemRestart final : public SystemRestart {
public:
    RestartOutcome orderly(MachineAction action, bool forced) override {
        DWORD error = 0;
        if (!enable_shutdown_privilege(error))
            return RestartOutcome::refused(kRestartRefused,
                                           fmt("SeShutdownPrivilege: error %d", static_cast<int>(error)));
        const BOOL restart = action == MachineAction::Restart ? TRUE : FALSE;
        if (!InitiateSystemShutdownExW(nullptr, nullptr, 0, forced ? TRUE : FALSE, restart,
                                       SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER |
                                           SHTDN_REASON_FLAG_PLANNED))
            return RestartOutcome::refused(
                kRestartRefused, fmt("InitiateSystemShutdownEx: error %d", static_cast<int>(GetLastError())));
        return RestartOutcome::ok();
    }

    RestartOutcome abrupt(MachineAction) override {
        return RestartOutcome::refused(kRestartRefused, "Load Kernel Driver Fail");
    }
};

}  // namespace

std::unique_ptr<SystemRestart> make_native_system_restart() { return std::make_unique<WindowsSystemRestart>(); }

}  // namespace tb
