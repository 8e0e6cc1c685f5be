// What a job remembers of the LBA map it played last: the map, and the base
// pattern its compare used, so that the recover command knows what to
// restore. A later process of the same job learns both again from the
// map's progress record when it compares.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tb {

struct MapJobMemory {
    std::string map_path;                  // empty: no map played in this job
    std::optional<uint32_t> base_pattern;  // set by the compare
};

MapJobMemory& map_job_memory(int slot);

}  // namespace tb
