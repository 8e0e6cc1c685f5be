// The pauses of the vendor commands (a drive settling after brand new, a
// controller restarting before it is re-linked): waited on the job's
// thread and ended early when the job is stopped. Tests put in their own
// pause so that a command's sequence runs without the wall-clock waits.
#pragma once

#include <cstdint>
#include <functional>

namespace tb {

using VscPause = std::function<void(int slot, uint32_t ms)>;

// Waits `ms` milliseconds (or less when the job is stopped).
void vsc_pause(int slot, uint32_t ms);

// Every later pause goes to `pause`; an empty one restores the real wait.
void set_vsc_pause(VscPause pause);

}  // namespace tb
