// The data of a played LBA map: every write is the write pattern with its
// sectors stamped with LBA, sequence number and (when the source gives
// one) the unit's write count; the write-and-compare play reads every write
// back at once and checks it.
#pragma once

#include <cstdint>

#include "workload/data_policy.h"

namespace tb {

class MapDataPolicy final : public DataPolicy {
public:
    MapDataPolicy(uint32_t sector_size, uint32_t pattern, bool read_back)
        : sector_size_(sector_size), pattern_(pattern), read_back_(read_back) {}

    void prepare_write(PlannedIo& io, std::span<uint8_t> data) override;
    bool wants_read_back(uint32_t stream, const PlannedIo& io) override;
    std::optional<uint32_t> check(const PlannedIo& io, std::span<const uint8_t> written,
                                  std::span<const uint8_t> read) const override;
    void expected_data(const PlannedIo& io, std::span<uint8_t> out) const override;

private:
    uint32_t sector_size_;
    uint32_t pattern_;
    bool read_back_;
};

}  // namespace tb
