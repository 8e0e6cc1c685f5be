// The request source of the random-size overlap test: sizes from a 100-entry
// table read cyclically (one fixed size, or the shuffled transfer-size mix of
// the enterprise workload); a random sector or the sequential position from
// the random-choice table; once 100 writes have completed, the overlap table
// sends a request to one of the last 100 completed write offsets with a size
// scaled by its slot. Requests are cut at the range end and never overlap a
// request in flight. Every write takes the next 64-bit sequence number.
// At every verification interval no new write is handed out; once every
// write has completed one read of up to `verify_bytes` from a random sector
// goes out, and writing resumes when it is done.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <random>
#include <vector>

#include "workload/request_source.h"

namespace tb {

constexpr size_t kOverlapTableSize = 100;
constexpr size_t kRecentWrites = 100;
constexpr uint32_t kOverlapVerifyBytes = 512 * 1024;
constexpr int kOverlapDrawAttempts = 100;

// The 100 request sizes: all `fixed_bytes`, or with 0 the transfer-size mix
// (512 B x4; 1 KiB, 1.5 KiB, ..., 3.5 KiB x1 each; 4 KiB x67; 8 KiB x10;
// 16 KiB x7; 32 KiB x3; 64 KiB x3) shuffled by `seed`.
std::array<uint32_t, kOverlapTableSize> make_overlap_size_table(uint32_t fixed_bytes, uint32_t seed);

struct OverlapSourceSettings {
    uint64_t start_offset = 0;
    uint64_t range_bytes = 0;
    uint32_t sector_size = 512;
    uint32_t fixed_size = 0;  // bytes; 0: the transfer-size mix
    uint32_t rand_ratio = 0;  // of 100
    uint32_t over_ratio = 0;  // of 100
    uint64_t verify_interval_ms = 10000;  // workload time
    uint32_t verify_bytes = kOverlapVerifyBytes;
    uint32_t seed = 0;
};

class OverlapSource final : public RequestSource {
public:
    explicit OverlapSource(OverlapSourceSettings settings);
    void use_budget(ByteBudget& budget);
    Draw next(uint32_t stream, PlannedIo& out) override;
    void done(uint32_t stream, const PlannedIo& io) override;

    // Largest request a slot of `streams` can be handed.
    uint32_t largest_request(uint32_t streams) const;
    uint64_t verifications() const;
    uint64_t completed_writes() const;

private:
    struct Extent {
        uint64_t offset;
        uint32_t length;
    };
    bool overlaps_in_flight(uint64_t offset, uint32_t length) const;
    bool place(uint32_t stream, size_t index, uint64_t& offset, uint32_t& length, bool& sequential);
    Draw verification_read(PlannedIo& out);
    uint64_t range_end() const { return s_.start_offset + s_.range_bytes; }

    OverlapSourceSettings s_;
    std::array<uint32_t, kOverlapTableSize> sizes_{};
    std::array<uint8_t, kOverlapTableSize> random_choice_{};
    std::array<uint8_t, kOverlapTableSize> overlap_choice_{};
    mutable std::mutex m_;
    ByteBudget* budget_ = nullptr;
    std::mt19937_64 rng_;
    size_t index_ = 0;
    uint64_t cursor_ = 0;
    uint64_t sequence_ = 0;
    uint64_t draws_ = 0;
    std::vector<Extent> in_flight_;
    std::array<uint64_t, kRecentWrites> recent_{};
    uint64_t completed_writes_ = 0;
    bool clock_started_ = false;
    uint64_t next_verify_ms_ = 0;
    bool verify_due_ = false;
    bool verify_reading_ = false;
    uint64_t verifications_ = 0;
};

}  // namespace tb
