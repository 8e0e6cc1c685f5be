// Sorting what a unit of a played map holds: correct, as old data, all
// zeros, miscompare or unreadable, sector by sector, and which of the wrong
// sectors belong to writes that were durable.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "workload/map_replay.h"

namespace tb {

enum class SectorClass : uint8_t { Correct, OldData, Zeros, Miscompare, ReadFail };

struct SectorCounts {
    uint64_t correct = 0;
    uint64_t old_data = 0;
    uint64_t zeros = 0;
    uint64_t miscompare = 0;
    uint64_t read_fail = 0;
    // Wrong sectors (zeros, old data, miscompare) of a unit whose expected
    // version came from a played record: durable ones (a completed flush or
    // FUA write covered it) and the others.
    uint64_t lost_durable = 0;
    uint64_t lost_unflushed = 0;

    uint64_t errors() const { return old_data + zeros + miscompare + read_fail; }
    void add(const SectorCounts& o);
};

struct UnitClassification {
    SectorCounts counts;
    int64_t first_wrong = -1;            // sector index in the unit, -1 when all are correct
    std::vector<uint8_t> expected;       // the expected content (for the detail lines)
};

struct CompareSetup {
    uint32_t sector_size = 512;
    uint32_t base_pattern = 0;
    uint32_t write_pattern = 0;
};

// Classifies `data`, what unit `unit` held. A whole-unit match with the
// expected version, or with a version in flight at the interruption, is
// correct. Otherwise: all zeros; the base data; a wrong LBA stamp in the
// first sector (every sector a miscompare); the earlier write named by the
// write count in the data (old data, or correct when it was in flight);
// else sector by sector: expected or in flight -> correct, zeros -> all
// 0x00, base or the earlier write named by the sector's own write count ->
// old data (correct when that write was in flight), anything else ->
// miscompare. A trimmed unit reading all 0xFF is also correct.
UnitClassification classify_unit(MapReplay& replay, uint64_t unit, std::span<const uint8_t> data,
                                 const CompareSetup& setup);

// A unit that could not be read.
UnitClassification classify_unreadable(MapReplay& replay, uint64_t unit, const CompareSetup& setup);

}  // namespace tb
