#include "script/barrier_roster.h"

#include <cstring>

namespace tb {

namespace {

ProcessIdentity identity_of(const BarrierMember& m) { return {m.pid, m.start_ticks}; }

}  // namespace

BarrierMember* roster_find(BarrierRoster& roster, const ProcessIdentity& who) {
    for (BarrierMember& m : roster.members)
        if (m.pid == who.pid && m.start_ticks == who.start_ticks) return &m;
    return nullptr;
}

BarrierMember* roster_add(BarrierRoster& roster, const ProcessIdentity& who) {
    for (BarrierMember& m : roster.members) {
        if (m.pid != 0) continue;
        m = BarrierMember{who.pid, 0, who.start_ticks};
        return &m;
    }
    return nullptr;
}

void roster_remove(BarrierMember& member) { member = BarrierMember{}; }

void roster_clear(BarrierRoster& roster) { std::memset(&roster, 0, sizeof roster); }

void roster_clear_arrivals(BarrierRoster& roster) {
    for (BarrierMember& m : roster.members) m.arrived = 0;
}

DepartedMembers roster_remove_departed(BarrierRoster& roster) {
    DepartedMembers gone;
    for (BarrierMember& m : roster.members) {
        if (m.pid == 0 || process_still_running(identity_of(m))) continue;
        ++gone.count;
        if (!m.arrived) ++gone.not_arrived;
        roster_remove(m);
    }
    return gone;
}

}  // namespace tb
