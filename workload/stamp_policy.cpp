#include "workload/stamp_policy.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "workload/pattern.h"

namespace tb {

namespace {

bool all_bytes(std::span<const uint8_t> s, uint8_t value) {
    return std::all_of(s.begin(), s.end(), [value](uint8_t b) { return b == value; });
}

}  // namespace

std::optional<uint32_t> first_untrimmed_sector(std::span<const uint8_t> read, uint32_t sector_size) {
    const size_t sectors = read.size() / sector_size;
    for (size_t i = 0; i < sectors; ++i) {
        std::span<const uint8_t> one = read.subspan(i * sector_size, sector_size);
        if (!all_bytes(one, 0x00) && !all_bytes(one, 0xFF)) return static_cast<uint32_t>(i);
    }
    return std::nullopt;
}

StampedPatternPolicy::StampedPatternPolicy(uint32_t pattern, uint32_t sector_size, uint32_t read_every,
                                           uint32_t streams)
    : pattern_(pattern),
      sector_size_(sector_size ? sector_size : 512),
      read_every_(read_every),
      streams_(streams ? streams : 1),
      since_read_(new uint32_t[streams ? streams : 1]()) {}

void StampedPatternPolicy::prepare_write(PlannedIo& io, std::span<uint8_t> data) {
    io.pattern = pattern_ == kPatternAuto ? process_random32() : pattern_;
    pattern_fill_value(data, io.pattern);
    sector_stamp(data, io.offset, sector_size_, io.sequence, io.write_count);
}

bool StampedPatternPolicy::wants_read_back(uint32_t stream, const PlannedIo& io) {
    if (read_every_ == 0 || !changes_data(io.action) || stream >= streams_) return false;
    if (++since_read_[stream] < read_every_) return false;
    since_read_[stream] = 0;
    read_backs_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

std::optional<uint32_t> StampedPatternPolicy::check(const PlannedIo& io, std::span<const uint8_t> written,
                                                    std::span<const uint8_t> read) const {
    if (io.action == IoAction::Trim) return first_untrimmed_sector(read, sector_size_);
    if (sector_size_ % 4 == 0 && sector_size_ <= kSectorScratch) return first_wrong_sector(io, read);
    std::vector<uint8_t> rebuilt;
    if (written.size() < read.size()) {
        rebuilt.resize(read.size());
        expected_data(io, rebuilt);
        written = rebuilt;
    }
    if (std::memcmp(written.data(), read.data(), read.size()) == 0) return std::nullopt;
    const size_t sectors = (read.size() + sector_size_ - 1) / sector_size_;
    for (size_t i = 0; i < sectors; ++i) {
        const size_t at = i * sector_size_, n = std::min<size_t>(sector_size_, read.size() - at);
        if (std::memcmp(written.data() + at, read.data() + at, n) != 0) return static_cast<uint32_t>(i);
    }
    return std::nullopt;
}

// Every sector starts on the pattern's first byte (sector sizes are whole
// multiples of its four bytes), so one sector of pattern, re-stamped for
// each sector in turn, is the whole expected image: it stays in the cache
// and only the read data comes from memory.
std::optional<uint32_t> StampedPatternPolicy::first_wrong_sector(const PlannedIo& io,
                                                                 std::span<const uint8_t> read) const {
    std::array<uint8_t, kSectorScratch> scratch;
    const std::span<uint8_t> sector(scratch.data(), sector_size_);
    pattern_fill_value(sector, io.pattern);
    const size_t whole = read.size() / sector_size_;
    for (size_t i = 0; i < whole; ++i) {
        sector_stamp(sector, io.offset + i * sector_size_, sector_size_, io.sequence, io.write_count);
        if (std::memcmp(sector.data(), read.data() + i * sector_size_, sector_size_) != 0)
            return static_cast<uint32_t>(i);
    }
    const size_t tail = read.size() - whole * sector_size_;
    if (tail == 0) return std::nullopt;
    pattern_fill_value(sector, io.pattern);  // a part sector carries no stamp
    if (std::memcmp(sector.data(), read.data() + whole * sector_size_, tail) != 0) return static_cast<uint32_t>(whole);
    return std::nullopt;
}

void StampedPatternPolicy::expected_data(const PlannedIo& io, std::span<uint8_t> out) const {
    if (io.action == IoAction::Trim) {
        std::fill(out.begin(), out.end(), uint8_t{0});
        return;
    }
    pattern_fill_value(out, io.pattern);
    sector_stamp(out, io.offset, sector_size_, io.sequence, io.write_count);
}

}  // namespace tb
