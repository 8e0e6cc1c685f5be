// Replaying a played LBA map without I/O: what every unit of the region
// should hold, which other versions are acceptable for units whose last
// records were in flight when the play was interrupted, which version a
// write count found in the data names, and whether a version had been made
// durable.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "workload/lba_map.h"
#include "workload/map_progress.h"

namespace tb {

// One content a unit can hold.
struct UnitVersion {
    enum class Kind : uint8_t { Base, Zeros, Written };
    Kind kind = Kind::Base;
    uint32_t record = 0;  // the record that made it (Zeros, Written)
    uint32_t sequence = 0;  // the write's sequence number (1-based count of writes played)
    uint32_t count = 0;     // the unit's write count (1 for its first write)
};

// The data of a version: the base pattern with LBA stamps, zeros, or the
// write pattern with LBA, sequence number and write count stamps.
void fill_version(std::span<uint8_t> out, const UnitVersion& v, uint64_t unit_offset, uint32_t sector_size,
                  uint32_t base_pattern, uint32_t write_pattern);

class MapReplay {
public:
    // What was played: `progress` of the play, or nullptr for a map played
    // to its end. False when memory for the units cannot be had.
    bool build(const LbaMap& map, const MapProgress* progress);

    uint64_t units() const { return units_; }
    uint64_t unit_offset(uint64_t unit) const { return map_->unit_offset(unit); }
    uint32_t unit_bytes() const { return map_->header.request_size; }
    // The unit's content after every record known complete.
    UnitVersion expected(uint64_t unit) const;
    // Versions made by records still in flight at the interruption (each
    // also acceptable), in play order; empty for most units.
    const std::vector<UnitVersion>& in_flight(uint64_t unit) const;
    // The write of `unit` whose write count is `count`; nullopt when there
    // is none in the played part of the map. Builds its index on first use.
    std::optional<UnitVersion> write_with_count(uint64_t unit, uint64_t count);
    // Whether a version's record was still in flight at the interruption.
    bool uncertain(const UnitVersion& v) const;
    // Whether the version was durable: made before a completed flush, or a
    // completed FUA write. Base data is not a played version (false).
    bool durable(const UnitVersion& v) const;
    // Records issued and completed as the play knew them.
    uint32_t played() const { return played_; }

private:
    struct UnitState {
        uint32_t record_plus1 = 0;  // 0: never touched by a complete record
        uint32_t sequence = 0;
        uint32_t count = 0;
    };
    struct WriteEntry {
        uint32_t record;
        uint32_t sequence;
    };

    const LbaMap* map_ = nullptr;
    MapProgress progress_;
    uint32_t played_ = 0;
    uint64_t units_ = 0;
    std::unique_ptr<UnitState[]> state_;
    std::unordered_map<uint64_t, std::vector<UnitVersion>> in_flight_;
    std::vector<uint32_t> write_start_;  // per unit, into writes_ (units + 1)
    std::vector<WriteEntry> writes_;
};

}  // namespace tb
