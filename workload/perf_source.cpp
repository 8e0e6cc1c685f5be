#include "workload/perf_source.h"

#include "workload/byte_budget.h"

namespace tb {

PerfSource::PerfSource(const PerfMix& mix, std::atomic<uint64_t>& cursor, ByteBudget& budget,
                       const SourcePlace& place, uint32_t seed)
    : mix_(mix), cursor_(cursor), budget_(budget), place_(place), own_cursors_(place.streams, mix.start_offset) {
    fill_ratio_table(ops_, mix_.write_ratio, seed + place.worker * 0x9E3779B9u);
    fill_ratio_table(random_, mix_.random_ratio, (seed ^ 0x5BD1E995u) + place.worker * 0x85EBCA6Bu);
    rng_.x = crypto_random32();
}

// The next sequential offset of the shared cursor; false when it has passed
// the end. In a run with random requests the cursor starts over at the
// range start instead.
bool PerfSource::claim_shared(uint32_t size, uint64_t& offset) {
    uint64_t cur = cursor_.load();
    for (;;) {
        uint64_t at = cur;
        if (at > mix_.last_offset) {
            if (mix_.random_ratio == 0) return false;
            at = mix_.start_offset;
        }
        if (cursor_.compare_exchange_weak(cur, at + size)) {
            offset = at;
            return true;
        }
    }
}

bool PerfSource::sequential_ended(uint32_t stream) const {
    if (mix_.random_ratio != 0) return false;  // the cursors start over instead
    const uint64_t at = mix_.per_stream ? own_cursors_[stream - place_.first_stream] : cursor_.load();
    return at > mix_.last_offset;
}

bool PerfSource::claim_own(uint32_t stream, uint32_t size, uint64_t& offset) {
    uint64_t& cursor = own_cursors_[stream - place_.first_stream];
    if (cursor > mix_.last_offset) {
        if (mix_.random_ratio == 0) return false;
        cursor = mix_.start_offset;
    }
    offset = cursor;
    cursor += size;
    return true;
}

Draw PerfSource::next(uint32_t stream, PlannedIo& out) {
    // The table entries are taken only by a request that is issued, so the
    // ratios hold over every 100 requests the worker really sends.
    const bool write = ops_[op_index_] != 0;
    uint32_t size = mix_.request_size;
    if (mix_.spread > 0) {
        size = rng_.below(static_cast<uint32_t>(mix_.spread)) + (mix_.request_size - static_cast<uint32_t>(mix_.spread));
        size = size / mix_.sector_size * mix_.sector_size;
        if (size == 0) size = mix_.sector_size;
    }
    // A sequential stream that has passed its end says so before it takes
    // any bytes: a take it gave back later would, for that moment, refuse
    // or end the cycle of a stream that still has requests to send.
    const bool random = random_[random_index_] != 0;
    if (!random && sequential_ended(stream)) return {DrawStatus::StreamEnded};
    Draw d;
    switch (budget_.take(size, d.fills_cycle, d.fills_limit)) {
    case ByteBudget::Take::LimitReached: return {DrawStatus::LimitReached};
    case ByteBudget::Take::CycleFull: return {DrawStatus::CycleDone};
    case ByteBudget::Take::Granted: break;
    }
    uint64_t offset;
    if (random) {
        offset = mix_.start_offset + rng_.below64(mix_.units) * mix_.request_size;
        cursor_.store(offset + size, std::memory_order_relaxed);
    } else if (!(mix_.per_stream ? claim_own(stream, size, offset) : claim_shared(size, offset))) {
        budget_.give_back(size);
        return {DrawStatus::StreamEnded};
    }
    op_index_ = op_index_ == 99 ? 0 : op_index_ + 1;
    random_index_ = random_index_ == 99 ? 0 : random_index_ + 1;
    out.action = write ? IoAction::Write : IoAction::Read;
    out.offset = offset;
    out.length = size;
    d.status = DrawStatus::Ready;
    return d;
}

}  // namespace tb
