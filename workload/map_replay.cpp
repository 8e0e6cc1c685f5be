#include "workload/map_replay.h"

#include <new>

#include "workload/pattern.h"

namespace tb {

void fill_version(std::span<uint8_t> out, const UnitVersion& v, uint64_t unit_offset, uint32_t sector_size,
                  uint32_t base_pattern, uint32_t write_pattern) {
    switch (v.kind) {
        case UnitVersion::Kind::Zeros:
            std::fill(out.begin(), out.end(), uint8_t{0});
            return;
        case UnitVersion::Kind::Base:
            pattern_fill(out, base_pattern);
            sector_stamp(out, unit_offset, sector_size);
            return;
        case UnitVersion::Kind::Written:
            pattern_fill(out, write_pattern);
            sector_stamp(out, unit_offset, sector_size, v.sequence, v.count);
            return;
    }
}

bool MapReplay::build(const LbaMap& map, const MapProgress* progress) {
    map_ = &map;
    const uint32_t total = static_cast<uint32_t>(map.records.size());
    if (progress) {
        progress_ = *progress;
    } else {
        // Played to its end: every record complete, every flush too.
        progress_ = MapProgress{};
        progress_.floor = progress_.limit = total;
        for (uint32_t i = 0; i < total; ++i)
            if (map.records[i].action == MapAction::Flush) progress_.flushed = i + 1;
    }
    played_ = std::min(progress_.limit, total);
    units_ = map.header.units();
    state_.reset(new (std::nothrow) UnitState[units_]());
    if (!state_) return false;
    in_flight_.clear();
    write_start_.clear();
    writes_.clear();

    // Counts follow the play order whether or not a record completed: the
    // player numbered every write it issued.
    uint32_t sequence = 0;
    std::unordered_map<uint64_t, uint32_t> running_count;  // units with records in flight
    for (uint32_t i = 0; i < played_; ++i) {
        const MapRecord& r = map.records[i];
        if (r.action == MapAction::Flush) continue;
        const uint64_t unit = map.unit_of(r);
        UnitState& s = state_[unit];
        const bool writes = is_write(r.action);
        if (writes) ++sequence;
        auto pending = in_flight_.find(unit);
        uint32_t count = s.count;
        if (pending != in_flight_.end()) count = running_count[unit];
        if (writes) ++count;
        UnitVersion v;
        v.kind = writes ? UnitVersion::Kind::Written : UnitVersion::Kind::Zeros;
        v.record = i;
        v.sequence = writes ? sequence : 0;
        v.count = writes ? count : 0;
        const bool complete = progress_.complete(i);
        if (complete) {
            // A unit is written one request at a time: a later record known
            // complete means the earlier ones of the unit completed too.
            if (pending != in_flight_.end()) {
                in_flight_.erase(pending);
                running_count.erase(unit);
            }
            s.record_plus1 = i + 1;
            s.sequence = v.sequence;
            s.count = count;
            if (!writes) s.sequence = 0;
        } else {
            in_flight_[unit].push_back(v);
            running_count[unit] = count;
        }
    }
    return true;
}

UnitVersion MapReplay::expected(uint64_t unit) const {
    UnitVersion v;
    const UnitState& s = state_[unit];
    if (s.record_plus1 == 0) return v;
    v.record = s.record_plus1 - 1;
    const MapAction a = map_->records[v.record].action;
    v.kind = is_write(a) ? UnitVersion::Kind::Written : UnitVersion::Kind::Zeros;
    if (is_write(a)) {
        v.sequence = s.sequence;
        v.count = s.count;
    }
    return v;
}

const std::vector<UnitVersion>& MapReplay::in_flight(uint64_t unit) const {
    static const std::vector<UnitVersion> kNone;
    auto it = in_flight_.find(unit);
    return it == in_flight_.end() ? kNone : it->second;
}

std::optional<UnitVersion> MapReplay::write_with_count(uint64_t unit, uint64_t count) {
    if (unit >= units_ || count == 0) return std::nullopt;
    if (write_start_.empty()) {
        write_start_.assign(units_ + 1, 0);
        for (uint32_t i = 0; i < played_; ++i)
            if (is_write(map_->records[i].action)) ++write_start_[map_->unit_of(map_->records[i]) + 1];
        for (uint64_t u = 0; u < units_; ++u) write_start_[u + 1] += write_start_[u];
        writes_.resize(write_start_[units_]);
        std::vector<uint32_t> fill(write_start_.begin(), write_start_.end() - 1);
        uint32_t sequence = 0;
        for (uint32_t i = 0; i < played_; ++i) {
            if (!is_write(map_->records[i].action)) continue;
            ++sequence;
            writes_[fill[map_->unit_of(map_->records[i])]++] = WriteEntry{i, sequence};
        }
    }
    const uint32_t first = write_start_[unit], end = write_start_[unit + 1];
    if (count > end - first) return std::nullopt;
    const WriteEntry& w = writes_[first + count - 1];
    UnitVersion v;
    v.kind = UnitVersion::Kind::Written;
    v.record = w.record;
    v.sequence = w.sequence;
    v.count = static_cast<uint32_t>(count);
    return v;
}

bool MapReplay::uncertain(const UnitVersion& v) const {
    return v.kind != UnitVersion::Kind::Base && progress_.uncertain(v.record);
}

bool MapReplay::durable(const UnitVersion& v) const {
    if (v.kind == UnitVersion::Kind::Base) return false;
    if (v.record < progress_.flushed) return true;
    return map_->records[v.record].action == MapAction::FuaWrite && progress_.complete(v.record);
}

}  // namespace tb
