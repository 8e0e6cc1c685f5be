// One request as a request source plans it: what to do, where, how much, and
// the numbers a data policy stamps into written data.
#pragma once

#include <cstdint>

namespace tb {

// The action of a request. The first four match the action codes of an LBA
// map record (0 write, 1 trim, 2 forced-unit-access write, 3 flush cache).
enum class IoAction : uint8_t { Write = 0, Trim = 1, FuaWrite = 2, Flush = 3, Read = 4 };

inline bool is_write(IoAction a) { return a == IoAction::Write || a == IoAction::FuaWrite; }
// Actions that change what the range holds (a later read can check them).
inline bool changes_data(IoAction a) { return is_write(a) || a == IoAction::Trim; }

struct PlannedIo {
    IoAction action = IoAction::Read;
    uint64_t offset = 0;       // bytes (meaningless for a flush)
    uint32_t length = 0;       // bytes (0 for a flush)
    uint64_t sequence = 0;     // write sequence number, 0: none
    uint64_t write_count = 0;  // writes of this unit so far, this one included; 0: none
    uint64_t record = 0;       // index of the record or draw that made it (map replay: the map record)
    uint32_t pattern = 0;      // the pattern value the data policy wrote (set by the policy)
};

}  // namespace tb
