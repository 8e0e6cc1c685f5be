#include "workload/overlap_image_policy.h"

#include <algorithm>

#include "workload/compare_report.h"
#include "workload/pattern.h"

namespace tb {

OverlapImagePolicy::OverlapImagePolicy(std::span<uint8_t> image, uint64_t start_offset, uint32_t sector_size)
    : image_(image), start_offset_(start_offset), sector_size_(sector_size ? sector_size : 512) {}

std::span<uint8_t> OverlapImagePolicy::image_of(const PlannedIo& io) const {
    if (io.offset < start_offset_ || io.offset - start_offset_ >= image_.size()) return {};
    const uint64_t from = io.offset - start_offset_;
    return image_.subspan(from, std::min<uint64_t>(io.length, image_.size() - from));
}

void OverlapImagePolicy::build_write(const PlannedIo& io, std::span<uint8_t> out) const {
    pattern_fill_value(out, io.pattern);
    sector_stamp(out, io.offset, sector_size_, io.sequence);
}

void OverlapImagePolicy::prepare_write(PlannedIo& io, std::span<uint8_t> data) {
    io.pattern = process_random32();
    build_write(io, data);
}

bool OverlapImagePolicy::wants_read_back(uint32_t, const PlannedIo& io) {
    if (is_write(io.action)) build_write(io, image_of(io));
    return false;
}

std::optional<uint32_t> OverlapImagePolicy::check(const PlannedIo& io, std::span<const uint8_t>,
                                                  std::span<const uint8_t> read) const {
    if (io.action != IoAction::Read) return std::nullopt;
    const std::span<const uint8_t> expected = image_of(io);
    if (expected.size() != read.size()) return 0;  // outside the image: nothing there can be right
    const std::optional<uint64_t> wrong = first_different_sector(expected, read, sector_size_);
    if (!wrong) return std::nullopt;
    return static_cast<uint32_t>(*wrong);
}

void OverlapImagePolicy::expected_data(const PlannedIo& io, std::span<uint8_t> out) const {
    if (is_write(io.action)) {
        build_write(io, out);
        return;
    }
    const std::span<const uint8_t> from = image_of(io);
    const size_t n = std::min(from.size(), out.size());
    std::copy_n(from.begin(), n, out.begin());
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), uint8_t{0});
}

}  // namespace tb
