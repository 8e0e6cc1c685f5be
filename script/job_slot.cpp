#include "script/job_slot.h"

namespace tb {

namespace {
JobSlot g_slots[kSlotCount];
}

JobSlot* job_slot(int slot) {
    if (slot < 0 || slot >= kSlotCount) return nullptr;
    g_slots[slot].index = slot;
    return &g_slots[slot];
}

}  // namespace tb
