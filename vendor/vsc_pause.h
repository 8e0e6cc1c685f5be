// The pauses of the vendor commands (a drive settling after brand new, a
// controller restarting before it is re-linked): waited on the job's
// thread and ended early when the job is stopped.
#pragma once

#include <cstdint>

namespace tb {

// Waits `ms` milliseconds (or less when the job is stopped).
void vsc_pause(int slot, uint32_t ms);

}  // namespace tb
