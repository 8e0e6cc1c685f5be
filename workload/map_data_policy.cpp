#include "workload/map_data_policy.h"

#include <algorithm>

#include "workload/compare_report.h"
#include "workload/pattern.h"

namespace tb {

void MapDataPolicy::prepare_write(PlannedIo& io, std::span<uint8_t> data) {
    io.pattern = pattern_fill(data, pattern_);
    sector_stamp(data, io.offset, sector_size_, io.sequence, io.write_count);
}

bool MapDataPolicy::wants_read_back(uint32_t, const PlannedIo& io) { return read_back_ && is_write(io.action); }

std::optional<uint32_t> MapDataPolicy::check(const PlannedIo& io, std::span<const uint8_t> written,
                                             std::span<const uint8_t> read) const {
    if (io.action == IoAction::Trim) {
        const bool zeros = std::all_of(read.begin(), read.end(), [](uint8_t b) { return b == 0; });
        const bool ones = std::all_of(read.begin(), read.end(), [](uint8_t b) { return b == 0xFF; });
        if (zeros || ones) return std::nullopt;
        return 0u;
    }
    std::optional<uint64_t> at = first_different_sector(written, read, sector_size_);
    if (!at) return std::nullopt;
    return static_cast<uint32_t>(*at);
}

void MapDataPolicy::expected_data(const PlannedIo& io, std::span<uint8_t> out) const {
    if (io.action == IoAction::Trim) {
        std::fill(out.begin(), out.end(), uint8_t{0});
        return;
    }
    pattern_fill(out, io.pattern);
    sector_stamp(out, io.offset, sector_size_, io.sequence, io.write_count);
}

}  // namespace tb
