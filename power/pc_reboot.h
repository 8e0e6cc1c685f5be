// PCReBoot( DelayRunSec:0, PowerAction:1, SPOR:FALSE, BootContinue:TRUE ):
// restarts (1) or powers off (2, after asking the wake-up service to power
// the PC on again; 0: a forced power-off without that) the machine, in order
// or abruptly (SPOR), and with BootContinue registers the script to carry on
// at the next statement after the restart. The script runs no further
// statement once the machine is going down.
#pragma once

#include <cstdint>
#include <string>

#include "power/wake_service.h"

namespace tb {

struct PcRebootRequest {
    uint32_t delay_sec = 0;
    int32_t power_action = 1;
    bool spor = false;
    bool boot_continue = true;
};

void cmd_PCReBoot(int slot, const std::string& args, const std::string& name);

// The timing of the wake-up request (tests shorten it).
WakeTiming& pc_reboot_wake_timing();

// The machine-wide mutex held by the instance that restarts the machine.
constexpr const char* kRebootMutexName = "PCReboot";

// How long a restarting member waits for the rest of its barrier group.
constexpr uint32_t kRebootSyncTimeoutSec = 60;

}  // namespace tb
