// The data policy of the compare tests: every write carries the pattern (a
// fixed value, or with "AUTO" a value drawn for each fill) and every sector
// is stamped with its LBA, the write sequence number and (map family) the
// unit's write count. After every n-th write or trim of a stream the range
// is read back; it must equal what was written, and after a trim every
// sector must read all zeros or all 0xFF. Read-backs are checked against
// the data rebuilt from the request (the same bytes its write put down), so
// the write buffer is not read a second time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "workload/data_policy.h"

namespace tb {

class StampedPatternPolicy final : public DataPolicy {
public:
    // `pattern`: a value or kPatternAuto; `read_every`: read back after every
    // n-th data-changing request of a stream (0: never).
    StampedPatternPolicy(uint32_t pattern, uint32_t sector_size, uint32_t read_every, uint32_t streams);

    void prepare_write(PlannedIo& io, std::span<uint8_t> data) override;
    bool wants_read_back(uint32_t stream, const PlannedIo& io) override;
    std::optional<uint32_t> check(const PlannedIo& io, std::span<const uint8_t> written,
                                  std::span<const uint8_t> read) const override;
    void expected_data(const PlannedIo& io, std::span<uint8_t> out) const override;

    // Read-backs asked for so far.
    uint64_t read_backs() const { return read_backs_.load(); }

private:
    // Sector sizes up to this are checked against a rebuilt sector at a
    // time; larger ones against a rebuilt copy of the whole request.
    static constexpr uint32_t kSectorScratch = 4096;
    std::optional<uint32_t> first_wrong_sector(const PlannedIo& io, std::span<const uint8_t> read) const;

    uint32_t pattern_;
    uint32_t sector_size_;
    uint32_t read_every_;
    uint32_t streams_;
    std::unique_ptr<uint32_t[]> since_read_;  // per stream, touched only by its worker
    std::atomic<uint64_t> read_backs_{0};
};

// The first sector of `read` that is neither all zeros nor all 0xFF.
std::optional<uint32_t> first_untrimmed_sector(std::span<const uint8_t> read, uint32_t sector_size);

}  // namespace tb
