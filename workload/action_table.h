// The action table of the write/verify loops and of map making: 10,000
// entries holding exactly the asked number of trims, forced-unit-access
// writes and flushes (the rest plain writes) at positions drawn at random
// without replacement; ratios are therefore in units of 1/10,000. It is
// read cyclically from its start.
#pragma once

#include <cstdint>
#include <vector>

#include "workload/planned_io.h"

namespace tb {

constexpr uint32_t kActionTableSize = 10000;

// Empty when trims + fua_writes + flushes exceeds the table.
std::vector<IoAction> make_action_table(uint32_t trims, uint32_t fua_writes, uint32_t flushes, uint64_t seed);

}  // namespace tb
