// Sleeping this Linux machine: the RTC wake alarm wakes it, /sys/power/state
// puts it to sleep.
//
// The sleep is entered by writing "mem" (S3) or "disk" (S4) to the power
// state file rather than through `systemctl suspend|hibernate`: the write
// returns only after the machine has resumed and fails with the kernel's own
// reason when it refuses, it needs no running systemd (test machines and
// small guests often have none), and it cannot race a second suspend request
// of the service manager. The price is that systemd's sleep hooks do not run;
// a console run that needs them can call the service manager itself.
//
// The wake-up timer is two things: the RTC alarm ("0", then "+N" written to
// wakealarm), which only wakes the machine, and a timer on the boot-time
// clock (which counts the time asleep), which is what a caller waits for.
#pragma once

#include <memory>
#include <string>

#include "platform/system_sleep.h"

namespace tb::linuxdisk {

struct LinuxSleepFiles {
    std::string wakealarm = "/sys/class/rtc/rtc0/wakealarm";
    std::string power_state = "/sys/power/state";
};

// The files may be replaced (tests point them at plain files).
std::unique_ptr<SystemSleep> make_linux_system_sleep(LinuxSleepFiles files = {});

}  // namespace tb::linuxdisk
