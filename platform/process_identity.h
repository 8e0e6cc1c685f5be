// A process as the instances record it in shared memory: its id and the
// moment it started. The start time tells a process apart from a later one
// that was given the same id after the first ended.
#pragma once

#include <cstdint>

namespace tb {

struct ProcessIdentity {
    int32_t pid = 0;
    uint64_t start_ticks = 0;  // 0 when the start time could not be read
};

// The id of this process.
int32_t current_process_id();

ProcessIdentity current_process_identity();

// Whether a process of that id exists (whoever it is).
bool process_exists(int32_t pid);

// Whether the process still runs (a process of that id that started at
// another time is a different one; an ended one not yet reaped has gone).
bool process_still_running(const ProcessIdentity& who);

}  // namespace tb
