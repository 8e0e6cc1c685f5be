#include "workload/map_source.h"

#include <new>

namespace tb {

MapReplaySource::MapReplaySource(const LbaMap& map, bool number_by_record)
    : map_(map), by_record_(number_by_record), counts_(new (std::nothrow) uint32_t[map.header.units()]()) {}

Draw MapReplaySource::next(uint32_t, PlannedIo& out) {
    std::lock_guard<std::mutex> guard(lock_);
    Draw d;
    if (next_ >= map_.records.size()) {
        d.status = DrawStatus::Ended;
        return d;
    }
    if (barrier_) return d;  // Wait
    const MapRecord& r = map_.records[next_];
    const bool flush = r.action == MapAction::Flush;
    if (flush ? in_flight_ > 0 : offsets_.contains(r.offset)) return d;
    out = PlannedIo{};
    out.action = static_cast<IoAction>(r.action);
    out.record = next_;
    if (!flush) {
        out.offset = r.offset;
        out.length = map_.header.request_size;
        offsets_.add(r.offset);
    }
    if (is_write(r.action)) {
        ++writes_;
        const uint32_t count = ++counts_[map_.unit_of(r)];
        out.sequence = by_record_ ? uint64_t{next_} + 1 : writes_;
        out.write_count = by_record_ ? 0 : count;
    } else {
        barrier_ = true;
    }
    ++in_flight_;
    ++next_;
    d.status = DrawStatus::Ready;
    return d;
}

void MapReplaySource::done(uint32_t, const PlannedIo& io) {
    std::lock_guard<std::mutex> guard(lock_);
    if (io.action != IoAction::Flush) offsets_.remove(io.offset);
    if (!is_write(io.action)) barrier_ = false;
    if (in_flight_) --in_flight_;
}

uint32_t MapReplaySource::handed_out() const {
    std::lock_guard<std::mutex> guard(lock_);
    return next_;
}

uint32_t MapReplaySource::in_flight() const {
    std::lock_guard<std::mutex> guard(lock_);
    return in_flight_;
}

}  // namespace tb
