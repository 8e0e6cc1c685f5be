// The single-pass range commands on the job's whole disk (RAW mode only):
// filling a range with a pattern, comparing a range with it, and searching
// the disk for sectors that hold a pattern's bytes.
#pragma once

#include <string>

namespace tb {

// Compare_WithPattern( LBA, RangeSector | RangeMB, ComparePattern, MarkSectorHeader, AccessKB | AccessSector )
void cmd_Compare_WithPattern(int slot, const std::string& args, const std::string& name);
// FullByPattern( LBA, RangeMB | RangeSector, Pattern, MarkSectorHeader )
void cmd_FullByPattern(int slot, const std::string& args, const std::string& name);
// FindLBA_ByPattern( StartLBA, FindPattern )
void cmd_FindLBA_ByPattern(int slot, const std::string& args, const std::string& name);

}  // namespace tb
