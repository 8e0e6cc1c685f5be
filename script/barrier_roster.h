// The members of the barrier group, kept in the barrier section behind its
// counts: one record per member process, with whether its arrival is counted
// in the current round. With it the group notices members whose process has
// ended without leaving (killed, crashed) and takes them out, so that they
// cannot hold the others at the barrier.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/process_identity.h"

namespace tb {

struct BarrierMember {
    int32_t pid;  // 0: a free record
    uint32_t arrived;
    uint64_t start_ticks;
};

constexpr size_t kBarrierRosterSize = 128;

struct BarrierRoster {
    BarrierMember members[kBarrierRosterSize];
};

// The record of that process, or nullptr.
BarrierMember* roster_find(BarrierRoster& roster, const ProcessIdentity& who);
// Adds a record (not arrived); nullptr when the roster is full.
BarrierMember* roster_add(BarrierRoster& roster, const ProcessIdentity& who);
void roster_remove(BarrierMember& member);
void roster_clear(BarrierRoster& roster);
// A new round: no arrival is counted.
void roster_clear_arrivals(BarrierRoster& roster);

struct DepartedMembers {
    int count = 0;
    int not_arrived = 0;  // of them, those whose arrival was not counted
};
// Removes the records of processes that no longer exist.
DepartedMembers roster_remove_departed(BarrierRoster& roster);

}  // namespace tb
