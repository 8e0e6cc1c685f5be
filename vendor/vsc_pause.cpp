#include "vendor/vsc_pause.h"

#include "script/app_context.h"

namespace tb {

void vsc_pause(int slot, uint32_t ms) { sleep_cancellable(slot, ms); }

}  // namespace tb
