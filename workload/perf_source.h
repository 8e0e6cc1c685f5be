// The request source of the performance workloads: exact write and random
// ratios per 100 requests a worker really issues, sequential requests from
// a shared cursor (or one cursor per stream), random requests on whole
// request units of the range, and an optional size spread below the
// request size.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "workload/pattern.h"
#include "workload/request_source.h"

namespace tb {

struct PerfMix {
    uint32_t write_ratio = 0;   // 0..100
    uint32_t random_ratio = 0;  // 0..100
    uint32_t request_size = 4096;
    int32_t spread = 0;         // sizes drawn from (request_size - spread, request_size]
    uint32_t sector_size = 512;
    uint64_t start_offset = 0;
    uint64_t last_offset = 0;   // the last offset a sequential request may start at
    uint64_t units = 1;         // whole requests in the range (random draws)
    bool per_stream = false;    // every stream runs its own sequential cursor
};

class PerfSource final : public RequestSource {
public:
    // `cursor`: the shared sequential cursor (also the position reported).
    PerfSource(const PerfMix& mix, std::atomic<uint64_t>& cursor, ByteBudget& budget, const SourcePlace& place,
               uint32_t seed);
    Draw next(uint32_t stream, PlannedIo& out) override;

private:
    bool sequential_ended(uint32_t stream) const;
    bool claim_shared(uint32_t size, uint64_t& offset);
    bool claim_own(uint32_t stream, uint32_t size, uint64_t& offset);

    PerfMix mix_;
    std::atomic<uint64_t>& cursor_;
    ByteBudget& budget_;
    SourcePlace place_;
    std::array<uint8_t, 100> ops_{};
    std::array<uint8_t, 100> random_{};
    uint32_t op_index_ = 0, random_index_ = 0;
    WorkloadRandom rng_;
    std::vector<uint64_t> own_cursors_;
};

}  // namespace tb
