// Restarting or powering off the whole machine, in order or abruptly.
//
// In order: the system is asked to restart or power off (buffers written,
// services stopped). Abruptly: the machine is reset or cut off at once,
// without writing anything back (sudden power-off and reset tests).
//
// Which machine: the one of the disks in use.
// - The simulated machine ends this process at once with an exit code of
//   sim_restart_exit_code(): an orderly action first flushes the simulated
//   disks' caches, an abrupt one loses their unflushed writes.
// - Linux: when systemd runs, "systemctl reboot|poweroff" (an orderly
//   shutdown); without it sync() and reboot(2). Abrupt: the magic SysRq key
//   'b' or 'o' through /proc/sysrq-trigger, with no sync. Needs root.
// - Windows: the shutdown privilege and InitiateSystemShutdownExW. The abrupt
//   forms need a port-I/O kernel driver that this program does not ship:
//   they fail with -255 "Load Kernel Driver Fail".
// Tests install their own with set_system_restart.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tb {

enum class MachineAction { Restart, PowerOff };

// The code of a refused action (the system table's generic failure).
constexpr int32_t kRestartRefused = -255;

// What an attempt came to: accepted (the machine is going down), or refused
// with an error code of the system's table and a detail text.
struct RestartOutcome {
    bool accepted = false;
    int32_t code = 0;
    std::string detail;

    static RestartOutcome ok() { return {true, 0, {}}; }
    static RestartOutcome refused(int32_t code, std::string detail) { return {false, code, std::move(detail)}; }
};

class SystemRestart {
public:
    virtual ~SystemRestart() = default;
    // In order. `forced` does not wait for programs that will not end.
    virtual RestartOutcome orderly(MachineAction action, bool forced) = 0;
    // At once, writing nothing back.
    virtual RestartOutcome abrupt(MachineAction action) = 0;
};

// The exit code the simulated machine's process ends with: 80 orderly
// restart, 81 orderly power-off, 82 abrupt restart, 83 abrupt power-off.
constexpr int sim_restart_exit_code(MachineAction action, bool abrupt) {
    return 80 + (action == MachineAction::PowerOff ? 1 : 0) + (abrupt ? 2 : 0);
}

// The facility in use: the one installed by set_system_restart, else the one
// of the disk machine in use.
SystemRestart& system_restart();
// Installs a facility (tests); nullptr goes back to the default.
void set_system_restart(std::unique_ptr<SystemRestart> restart);

// This machine's own facility (platform/linux or platform/windows).
std::unique_ptr<SystemRestart> make_native_system_restart();

}  // namespace tb
