// Compare_RandSizeOverlap: writes of mixed sizes, some of them over recently
// written data, checked now and then against an in-memory image of the range.
#pragma once

#include <cstdint>
#include <string>

namespace tb {

void cmd_Compare_RandSizeOverlap(int slot, const std::string& args, const std::string& name);

// The same command with its verification interval (workload time) chosen.
void run_rand_size_overlap(int slot, const std::string& args, const std::string& name, uint64_t verify_interval_ms);

}  // namespace tb
