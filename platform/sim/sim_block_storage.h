// The simulated machine's block storage: a disk is its backing store (the
// same one every other path of the disk uses) with the disk's injected
// faults applied and every transfer counted in the disk's SMART / health
// counters; a volume is a window of its disk; files are the host's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/block_storage.h"
#include "platform/sim/sim_target.h"

namespace tb::sim {

std::unique_ptr<BlockStorage> make_sim_block_storage();

// Tests: extra hooks for every simulated-disk target opened from now on
// (record requests, add latency, inject errors); nullptr removes them. The
// disk's injected faults are applied before the hooks' own error.
using SimHookMaker = std::function<void(uint32_t disk_number, SimIoHooks& hooks)>;
void set_sim_io_hooks(SimHookMaker maker);

}  // namespace tb::sim
