// Plays a request source with a data policy on one queue of an opened
// target from the calling thread: up to a queue depth of requests in
// flight, completions by polling, the read-back and check of each write
// when the policy asks for it, step pacing, and the progress record kept up
// to date. Used by the map family (write, write-and-compare, recover).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/io_queue.h"
#include "workload/data_policy.h"
#include "workload/map_progress.h"
#include "workload/request_source.h"

namespace tb {

struct MapPlayOptions {
    uint32_t queue_depth = 32;
    uint32_t request_size = 4096;
    uint32_t sector_size = 512;
    uint32_t step_run_sec = 0;
    uint32_t step_delay_sec = 0;
    uint32_t timeout_ms = 180000;        // no completion for this long: -76
    std::function<bool()> stop;          // the job was stopped
    std::function<void()> tick;          // called about every 100 ms (status lines)
    MapProgressKeeper* progress = nullptr;
};

struct MapPlayResult {
    int32_t code = 1;          // 1, or an error code (-70: a read-back differed; -21: the progress record could not be saved)
    bool cancelled = false;
    uint64_t position = 0;     // byte offset of the failing request (or the last issued)
    uint64_t writes_issued = 0;
    uint64_t writes_completed = 0;
    // A read-back that differed: the request, the first wrong sector and
    // what was written and read.
    PlannedIo failed_io;
    uint32_t first_wrong_sector = 0;
    std::vector<uint8_t> written, read;
};

void play_requests(IoTarget& target, RequestSource& source, DataPolicy& policy, const MapPlayOptions& options,
                   MapPlayResult& result);

}  // namespace tb
