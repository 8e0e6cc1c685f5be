// The data policy of the random-size overlap test: every write carries a
// pattern value drawn for it and every sector its LBA and the request's
// sequence number; a completed write is put into an in-memory image of the
// range, and a verification read is checked against that image.
#pragma once

#include <cstdint>
#include <span>

#include "workload/data_policy.h"

namespace tb {

class OverlapImagePolicy final : public DataPolicy {
public:
    // `image` covers the range from `start_offset` (bytes) and holds what the
    // range holds now.
    OverlapImagePolicy(std::span<uint8_t> image, uint64_t start_offset, uint32_t sector_size);

    void prepare_write(PlannedIo& io, std::span<uint8_t> data) override;
    // Puts a completed write into the image; never asks for a read-back.
    bool wants_read_back(uint32_t stream, const PlannedIo& io) override;
    // A verification read against the image (other requests are not checked).
    std::optional<uint32_t> check(const PlannedIo& io, std::span<const uint8_t> written,
                                  std::span<const uint8_t> read) const override;
    void expected_data(const PlannedIo& io, std::span<uint8_t> out) const override;

private:
    std::span<uint8_t> image_of(const PlannedIo& io) const;
    void build_write(const PlannedIo& io, std::span<uint8_t> out) const;

    std::span<uint8_t> image_;
    uint64_t start_offset_;
    uint32_t sector_size_;
};

}  // namespace tb
