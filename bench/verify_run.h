// The write/verify loops' engine path (the loops' request source and their
// stamped-pattern data policy on the LBA I/O engine), without the job log,
// report files or chart: what Compare_SeqReadWrite and Compare_RandReadWrite
// spend on every request, measured on its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/io_queue.h"

namespace tb {

struct VerifyRunSettings {
    bool random = false;
    uint32_t sector_size = 512;
    uint64_t range_mb = 0;
    uint32_t request_size = 131072;
    uint32_t queue_depth = 32;
    uint32_t pattern = 0;       // a value or kPatternAuto
    uint32_t read_every = 1;    // nWrite1Read
    uint64_t limit_mb = 0;      // bytes written, 0: none
    uint32_t limit_sec = 0;     // 0: none
    uint32_t processors = 0;    // 0: the machine's
};

struct VerifyRunFigures {
    int rc = 0;                    // the engine's result (1: ended normally)
    double seconds = 0;            // the engine's run time
    uint64_t written_bytes = 0;
    uint64_t verified_bytes = 0;   // read back and found equal
    uint64_t completed_requests = 0;
};

VerifyRunFigures run_verify_loop(const VerifyRunSettings& s, std::function<std::unique_ptr<IoTarget>()> open);

}  // namespace tb
