// LBA and performance workload commands.
#include "workload/workload_bindings.h"

#include "workload/compare_loops.h"
#include "workload/compare_overlap.h"
#include "workload/lba_commands.h"
#include "workload/map_commands.h"
#include "workload/perf_commands.h"
#include "workload/range_commands.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"LBARead", cmd_LBARead},
    {"LBAWrite", cmd_LBAWrite},
    {"TRIM", cmd_TRIM},
    {"FlushCache", cmd_FlushCache},
    {"Performance_SeqRead", cmd_Performance_SeqRead},
    {"Performance_SeqWrite", cmd_Performance_SeqWrite},
    {"Performance_RandRead", cmd_Performance_RandRead},
    {"Performance_RandWrite", cmd_Performance_RandWrite},
    {"Performance_MixReadWrite", cmd_Performance_MixReadWrite},
    {"Performance_VideoStream", cmd_Performance_VideoStream},
    {"JEDEC219A_Enterprise", cmd_JEDEC219A_Enterprise},
    {"JEDEC219A_Client", cmd_JEDEC219A_Client},
    {"Compare_SeqReadWrite", cmd_Compare_SeqReadWrite},
    {"Compare_RandReadWrite", cmd_Compare_RandReadWrite},
    {"Compare_RandSizeOverlap", cmd_Compare_RandSizeOverlap},
    {"Compare_WithPattern", cmd_Compare_WithPattern},
    {"FullByPattern", cmd_FullByPattern},
    {"FindLBA_ByPattern", cmd_FindLBA_ByPattern},
    {"Compare_MapMake", cmd_Compare_MapMake},
    {"Compare_MapAppend", cmd_Compare_MapAppend},
    {"Compare_MapWrite", cmd_Compare_MapWrite},
    {"Compare_MapCompare", cmd_Compare_MapCompare},
    {"Compare_MapWriteCompare", cmd_Compare_MapWriteCompare},
    {"Compare_MapRecoverBasePattern", cmd_Compare_MapRecoverBasePattern},
};

}  // namespace

BindingList workload_bindings() { return kBindings; }

}  // namespace tb
