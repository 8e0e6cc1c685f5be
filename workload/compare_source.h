// The request source of the threaded write/verify loops: every stream's next
// action comes from the shared action table (writes, trims, forced-unit-
// access writes, flushes); trims, and every request in random mode, go to a
// random unit of the stream's own stripe; writes in sequential mode take
// the shared cursor, which returns to the range start when the next request
// would end beyond the range; every write takes the next value of the
// shared 64-bit write sequence number (from 1); an offset in flight is never
// handed out twice. Step pacing: with a step delay every stream pauses for
// that long before the first request and, with a step run too, again after
// every step-run seconds of running. One lock guards all of it; the engine's
// workers share one instance through SharedSourceHandle.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "workload/inflight_offsets.h"
#include "workload/request_source.h"
#include "workload/stripe_units.h"

namespace tb {

struct CompareSourceSettings {
    bool random = false;
    uint64_t start_offset = 0;
    uint64_t range_bytes = 0;
    uint32_t request_size = 0;
    uint32_t streams = 1;
    std::vector<IoAction> actions;  // the action table; empty: writes only
    uint32_t step_run_sec = 0;
    uint32_t step_delay_sec = 0;
};

class CompareSource final : public RequestSource {
public:
    explicit CompareSource(CompareSourceSettings settings);
    // The engine's budget, taken from before every request (the same for
    // every worker).
    void use_budget(ByteBudget& budget);
    Draw next(uint32_t stream, PlannedIo& out) override;
    void done(uint32_t stream, const PlannedIo& io) override;

    uint64_t last_sequence() const;

private:
    bool paused();  // under the lock
    bool place(uint32_t stream, IoAction action, uint64_t& offset, bool& takes_cursor);

    CompareSourceSettings s_;
    StripeUnits stripes_;
    mutable std::mutex m_;
    ByteBudget* budget_ = nullptr;
    size_t action_index_ = 0;
    uint64_t cursor_ = 0;
    uint64_t sequence_ = 0;
    uint64_t draws_ = 0;
    InFlightOffsets in_flight_;
    bool run_open_ = false;
    uint64_t pause_until_ms_ = 0;
    uint64_t run_until_ms_ = 0;
};

}  // namespace tb
