// A played LBA map as a request source: the records in order, writes
// numbered (sequence number of the write among the map's writes, write
// count of its unit, record index), nothing handed out while the next
// record's offset is still in flight, and flushes and trims run alone:
// a flush only once everything before it has completed, and nothing after
// a flush or a trim until it has completed.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "workload/inflight_offsets.h"
#include "workload/lba_map.h"
#include "workload/request_source.h"

namespace tb {

class MapReplaySource final : public RequestSource {
public:
    // `number_by_record`: a write's sequence number is its record's 1-based
    // index and it carries no write count (the write-and-compare play);
    // otherwise the 1-based count of writes and the unit's write count.
    MapReplaySource(const LbaMap& map, bool number_by_record);
    // False when the per-unit counts cannot be allocated.
    bool ok() const { return counts_ != nullptr; }

    Draw next(uint32_t stream, PlannedIo& out) override;
    void done(uint32_t stream, const PlannedIo& io) override;

    uint32_t handed_out() const;
    uint32_t in_flight() const;

private:
    const LbaMap& map_;
    bool by_record_;
    mutable std::mutex lock_;
    std::unique_ptr<uint32_t[]> counts_;
    InFlightOffsets offsets_;
    uint32_t next_ = 0;
    uint32_t in_flight_ = 0;
    uint64_t writes_ = 0;
    bool barrier_ = false;  // a flush or trim is out: hand out nothing
};

}  // namespace tb
