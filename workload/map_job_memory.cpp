#include "workload/map_job_memory.h"

#include "script/job_slot.h"

namespace tb {

MapJobMemory& map_job_memory(int slot) {
    static MapJobMemory memory[kSlotCount];
    static MapJobMemory nowhere;
    if (slot < 0 || slot >= kSlotCount) return nowhere = MapJobMemory{};
    return memory[slot];
}

}  // namespace tb
