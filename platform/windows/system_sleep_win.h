// Sleeping this Windows machine: a waitable timer with resume wakes it,
// SetSuspendState puts it to sleep, synthetic mouse moves bring the display
// back. The timer half is usable on its own (tests arm and wait for it
// without ever sleeping the machine).
#pragma once

#include <memory>

#include "platform/system_sleep.h"

namespace tb::host {

std::unique_ptr<SystemSleep> make_windows_system_sleep();

}  // namespace tb::host
