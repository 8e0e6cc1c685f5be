// Drawing the records of an LBA map: the action table of trims, FUA writes
// and flushes, the random-choice table, and the draw itself in blocks of
// 16,384 records, each block with a freshly seeded workload random
// generator.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "workload/lba_map.h"

namespace tb {

constexpr uint32_t kActionTableSize = 10000;
constexpr uint32_t kRecordsPerBlock = 16384;

// 10,000 entries: exactly `trim` ones, `fua` twos, `flush` threes, the rest
// zeros, at positions drawn without replacement. The ratios must add up to
// at most 10,000.
std::vector<uint8_t> build_action_table(uint32_t trim, uint32_t fua, uint32_t flush, uint32_t seed);

struct MapDraw {
    uint64_t region_start = 0;    // bytes: where the new records go
    uint64_t region_length = 0;   // bytes
    uint32_t request_size = 0;
    uint64_t write_requests = 0;  // records drawn until this many writes (plain or FUA)
    uint32_t rand_ratio = 100;    // percent of writes at a random unit
    uint32_t trim_ratio = 0, fua_ratio = 0, flush_ratio = 0;  // per 10,000 records
};

// A source of 32-bit seeds (the cryptographic random source in the program).
using SeedSource = std::function<uint32_t()>;
// Takes one block of records; false stops the draw (the block could not be kept).
using RecordSink = std::function<bool(std::span<const MapRecord>)>;

// Draws the records: the next action-table entry each time; a trim goes to
// a random unit of the region; a write to a random unit when the
// random-choice table says so, else to the next sequential unit (after the
// last one, the first again); a flush carries offset 0. False when the
// sink refused a block.
bool draw_map_records(const MapDraw& draw, const SeedSource& seeds, const RecordSink& sink);

}  // namespace tb
