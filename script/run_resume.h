// Carrying a run on after a restart of the machine: the slot's state is
// captured before the restart, and the next start hands the restored state
// to the run, which goes on at the saved statement instead of the first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "script/state_files.h"

namespace tb {

// The slot's restart bookkeeping: restarts made so far and their limit (0: none).
struct RestartCounters {
    uint32_t count = 0;
    uint32_t limit = 0;
};
RestartCounters& restart_counters(int slot);

// The slot's run state now, to go on at the statement after the one that
// is executing (the statement at the slot's position).
SavedRunState capture_run_state(int slot, const std::string& disk_location);

// Checks a restored state against the script text it is to go on in: same
// digest and size, a resume position inside the text, the start entries on
// the block lists. False with `error` set otherwise.
bool fits_script(const SavedRunState& state, const std::string& script_text, std::string& error);

// The next run of the slot goes on from `state` (set at start-up).
void set_pending_resume(int slot, SavedRunState state);
bool resume_pending(int slot);

// Called by the run after its reset and the script's load: applies a pending
// state (variables, lists, loop bookkeeping, counters) and returns where the
// statement loop begins; 0 without one.
size_t take_resume_position(int slot);

}  // namespace tb
