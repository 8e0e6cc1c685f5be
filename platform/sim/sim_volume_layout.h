// Where a simulated disk's volumes lie: one after another from 1 MiB on, an
// unaligned one 63 sectors later.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/sim/sim_config.h"

namespace tb::sim {

// The byte offset of volume `letter` on its disk; nullopt when the disk has
// no such volume.
std::optional<uint64_t> volume_offset(const DiskConfig& disk, char letter);

}  // namespace tb::sim
