// The detail file of a map compare ("<output base>.csv"): a header line,
// then for every wrong unit a block of four lines (counts and the expected
// bytes, the first read, the second read, a rule of dashes). Every field
// is left-aligned, cut to its column's width and followed by a comma.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "workload/map_classify.h"

namespace tb {

std::string detail_csv_header(uint32_t request_bytes);

struct DetailBlock {
    uint64_t unit_lba = 0;
    SectorCounts counts;
    uint64_t error_lba = 0;
    std::span<const uint8_t> expected;           // the first wrong sector as it should be
    std::optional<std::span<const uint8_t>> read1;  // the same sector as read; nullopt: the read failed
    std::optional<std::span<const uint8_t>> read2;
};

std::string detail_csv_block(const DetailBlock& block);

}  // namespace tb
