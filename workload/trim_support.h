// The compare commands whose action table holds trims need a disk that can
// deallocate: such a command is refused on a disk whose identity says it
// has no trim, before anything is made or written.
#pragma once

#include <cstdint>

namespace tb {

// False, with -2 "Disk not Support Trim" raised, when `trim_ratio` asks for
// trims and the job's disk has none.
bool trims_possible(int slot, uint32_t trim_ratio);

}  // namespace tb
