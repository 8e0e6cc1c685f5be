// Where the engine's requests come from.
//
// The engine keeps a number of request streams (its slots; every worker
// thread drives a share of them) and asks a request source for the next
// request of a stream whenever that stream is free. The source decides the
// action, the offset and the size; it never touches data (that is the data
// policy's part, data_policy.h). Sources today:
//   - perf_source.h: the performance mix (write and random ratios per 100
//     requests, a shared or per-stream sequential cursor, uniform random
//     units, a size spread);
//   - compare_source.h: the threaded write/verify loops (an action table of
//     writes, trims, forced-unit-access writes and flushes; a shared
//     sequential cursor or random units in per-stream stripes; a shared
//     write sequence number; step pacing).
// A map replay source fits the same interface: it hands out the records of
// a map in order (Write, Trim, FuaWrite, Flush with their offsets), numbers
// the writes (`sequence`, `write_count`, `record`), answers Wait while the
// next record's offset is still in flight (InFlightOffsets, in
// inflight_offsets.h, keeps that set; done() releases an offset), and Ended
// after the last record. A source shared by all workers guards itself (the
// engine calls next() and done() from every worker thread).
//
// Byte budgets (the transfer limit and the cycle length) are kept by the
// engine in a ByteBudget (byte_budget.h) that sources take from before they
// hand out a request; a source without budgets (a map replay) ignores it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "workload/planned_io.h"

namespace tb {

class ByteBudget;

enum class DrawStatus : uint8_t {
    Ready,         // `out` holds the next request of the stream
    Wait,          // nothing now (its offset is in flight); ask again soon
    Paused,        // nothing now on purpose (step pacing); not a stall
    StreamEnded,   // this stream's sequential cursor passed the end of the range
    CycleDone,     // the cycle's bytes are all issued
    LimitReached,  // the run's bytes are all issued
    Ended,         // the source has nothing more at all (a map played to its end)
};

struct Draw {
    DrawStatus status = DrawStatus::Wait;
    // With Ready: this request took the last bytes of the cycle or of the
    // run; the engine stops issuing after it.
    bool fills_cycle = false;
    bool fills_limit = false;
};

class RequestSource {
public:
    virtual ~RequestSource() = default;
    // The next request of `stream` (0 .. streams-1 over the whole engine).
    virtual Draw next(uint32_t stream, PlannedIo& out) = 0;
    // The stream's request (and any read-back of it) has completed or was
    // abandoned: its offset is free again.
    virtual void done(uint32_t stream, const PlannedIo& io) {
        (void)stream;
        (void)io;
    }
};

// Where a worker's source sits: the worker, its first stream and how many
// streams it drives, and every stream of the run.
struct SourcePlace {
    uint32_t worker = 0;
    uint32_t first_stream = 0;
    uint32_t streams = 0;
    uint32_t all_streams = 0;
};

// Made once per worker and cycle. A shared source hands every worker a thin
// handle to itself (SharedSourceHandle).
using SourceFactory = std::function<std::unique_ptr<RequestSource>(const SourcePlace&, ByteBudget&)>;

// A non-owning handle to a source shared by all workers.
class SharedSourceHandle final : public RequestSource {
public:
    explicit SharedSourceHandle(RequestSource& shared) : shared_(shared) {}
    Draw next(uint32_t stream, PlannedIo& out) override { return shared_.next(stream, out); }
    void done(uint32_t stream, const PlannedIo& io) override { shared_.done(stream, io); }

private:
    RequestSource& shared_;
};

}  // namespace tb
