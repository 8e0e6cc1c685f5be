#include "workload/overlap_source.h"

#include <algorithm>
#include <utility>

#include "workload/byte_budget.h"
#include "workload/engine.h"
#include "workload/pattern.h"

namespace tb {

std::array<uint32_t, kOverlapTableSize> make_overlap_size_table(uint32_t fixed_bytes, uint32_t seed) {
    std::array<uint32_t, kOverlapTableSize> t{};
    if (fixed_bytes) {
        t.fill(fixed_bytes);
        return t;
    }
    struct Share {
        uint32_t bytes, count;
    };
    constexpr Share kMix[] = {{512, 4},  {1024, 1},   {1536, 1},  {2048, 1},  {2560, 1},  {3072, 1},
                              {3584, 1}, {4096, 67},  {8192, 10}, {16384, 7}, {32768, 3}, {65536, 3}};
    size_t i = 0;
    for (const Share& s : kMix)
        for (uint32_t n = 0; n < s.count; ++n) t[i++] = s.bytes;
    std::mt19937 rng(seed);
    std::shuffle(t.begin(), t.end(), rng);
    return t;
}

OverlapSource::OverlapSource(OverlapSourceSettings settings)
    : s_(std::move(settings)), rng_(s_.seed), cursor_(s_.start_offset) {
    if (s_.sector_size == 0) s_.sector_size = 512;
    sizes_ = make_overlap_size_table(s_.fixed_size, s_.seed);
    fill_ratio_table(random_choice_, s_.rand_ratio, s_.seed + 1);
    fill_ratio_table(overlap_choice_, s_.over_ratio, s_.seed + 2);
}

void OverlapSource::use_budget(ByteBudget& budget) {
    std::lock_guard l(m_);
    budget_ = &budget;
}

uint32_t OverlapSource::largest_request(uint32_t streams) const {
    const uint32_t size = *std::max_element(sizes_.begin(), sizes_.end());
    return std::max({size, size * (streams / 8), s_.verify_bytes});
}

uint64_t OverlapSource::verifications() const {
    std::lock_guard l(m_);
    return verifications_;
}

uint64_t OverlapSource::completed_writes() const {
    std::lock_guard l(m_);
    return completed_writes_;
}

bool OverlapSource::overlaps_in_flight(uint64_t offset, uint32_t length) const {
    return std::any_of(in_flight_.begin(), in_flight_.end(), [&](const Extent& e) {
        return offset < e.offset + e.length && e.offset < offset + length;
    });
}

// Where the request of table entry `index` goes; false when every draw met a
// request in flight.
bool OverlapSource::place(uint32_t stream, size_t index, uint64_t& offset, uint32_t& length, bool& sequential) {
    const uint32_t size = sizes_[index];
    const bool overlap = overlap_choice_[index] && completed_writes_ >= kRecentWrites;
    const bool random = random_choice_[index];
    const uint64_t sectors = s_.range_bytes / s_.sector_size;
    sequential = !overlap && !random;
    for (int attempt = 0; attempt < kOverlapDrawAttempts; ++attempt) {
        if (overlap) {
            offset = recent_[rng_() % kRecentWrites];
            length = std::max(size * ((stream + 1) / 8), s_.sector_size);
        } else if (random) {
            offset = s_.start_offset + (rng_() % sectors) * s_.sector_size;
            length = size;
        } else {
            offset = cursor_;
            length = size;
        }
        length = (length + s_.sector_size - 1) / s_.sector_size * s_.sector_size;  // whole sectors
        length = static_cast<uint32_t>(std::min<uint64_t>(length, range_end() - offset));
        if (!overlaps_in_flight(offset, length)) return true;
        if (sequential) return false;  // the position only moves when a request takes it
    }
    return false;
}

Draw OverlapSource::verification_read(PlannedIo& out) {
    if (verify_reading_ || !in_flight_.empty()) return {DrawStatus::Paused};
    const uint64_t sectors = s_.range_bytes / s_.sector_size;
    out = PlannedIo{};
    out.action = IoAction::Read;
    out.offset = s_.start_offset + (rng_() % sectors) * s_.sector_size;
    out.length = static_cast<uint32_t>(std::min<uint64_t>(s_.verify_bytes, range_end() - out.offset));
    out.record = draws_++;
    in_flight_.push_back({out.offset, out.length});
    verify_reading_ = true;
    return {DrawStatus::Ready};
}

Draw OverlapSource::next(uint32_t stream, PlannedIo& out) {
    std::lock_guard l(m_);
    const uint64_t now = workload_ms();
    if (!clock_started_) {
        clock_started_ = true;
        next_verify_ms_ = now + s_.verify_interval_ms;
    }
    if (!verify_due_ && s_.verify_interval_ms && now >= next_verify_ms_) verify_due_ = true;
    if (verify_due_) return verification_read(out);

    const size_t index = index_;
    uint64_t offset = 0;
    uint32_t length = 0;
    bool sequential = false;
    if (!place(stream, index, offset, length, sequential)) return {DrawStatus::Wait};
    Draw d;
    if (budget_) {
        switch (budget_->take(length, d.fills_cycle, d.fills_limit)) {
        case ByteBudget::Take::LimitReached: return {DrawStatus::LimitReached};
        case ByteBudget::Take::CycleFull: return {DrawStatus::CycleDone};
        case ByteBudget::Take::Granted: break;
        }
    }
    index_ = (index_ + 1) % kOverlapTableSize;
    if (sequential) {
        cursor_ += length;
        if (cursor_ >= range_end()) cursor_ = s_.start_offset;
    }
    out = PlannedIo{};
    out.action = IoAction::Write;
    out.offset = offset;
    out.length = length;
    out.record = draws_++;
    out.sequence = ++sequence_;
    in_flight_.push_back({offset, length});
    d.status = DrawStatus::Ready;
    return d;
}

void OverlapSource::done(uint32_t, const PlannedIo& io) {
    std::lock_guard l(m_);
    auto it = std::find_if(in_flight_.begin(), in_flight_.end(),
                           [&](const Extent& e) { return e.offset == io.offset && e.length == io.length; });
    if (it != in_flight_.end()) in_flight_.erase(it);
    if (io.action == IoAction::Read) {
        verify_reading_ = false;
        verify_due_ = false;
        ++verifications_;
        next_verify_ms_ = workload_ms() + s_.verify_interval_ms;
        return;
    }
    if (!is_write(io.action)) return;
    recent_[completed_writes_ % kRecentWrites] = io.offset;
    ++completed_writes_;
}

}  // namespace tb
