// Reads the units of a map's region in order with a number of reads in
// flight and hands each one, in order, to a visitor: its data, or nothing
// when its read failed.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "platform/io_queue.h"

namespace tb {

struct UnitReadPlan {
    uint64_t region_start = 0;
    uint32_t unit_bytes = 0;
    uint64_t units = 0;
    uint32_t depth = 128;
    uint32_t timeout_ms = 180000;      // no completion for this long: -76
    std::function<bool()> stop;        // the job was stopped
    std::function<void(uint64_t)> tick;  // about every 100 ms, with the units visited
};

// `data` is empty when the unit could not be read. Returning false stops.
using UnitVisitor = std::function<bool(uint64_t unit, std::span<const uint8_t> data)>;

// 1 when every unit was visited (or the visitor or `stop` ended it early);
// -83 without memory, -1 without a queue, -76 after the time-out.
int32_t read_units(IoTarget& target, const UnitReadPlan& plan, const UnitVisitor& visit);

}  // namespace tb
