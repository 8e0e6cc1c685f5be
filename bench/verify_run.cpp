#include "bench/verify_run.h"

#include <algorithm>
#include <atomic>

#include "workload/action_table.h"
#include "workload/compare_source.h"
#include "workload/engine.h"
#include "workload/pattern.h"
#include "workload/stamp_policy.h"

namespace tb {

VerifyRunFigures run_verify_loop(const VerifyRunSettings& s, std::function<std::unique_ptr<IoTarget>()> open) {
    VerifyRunFigures f;
    const uint64_t range_bytes = s.range_mb << 20;
    const uint64_t units = s.request_size ? range_bytes / s.request_size : 0;
    if (units == 0 || units < s.queue_depth) {
        f.rc = -2;
        return f;
    }
    // As the loops set them up: one stream per request in flight, plain
    // writes only (no trims, forced-unit-access writes or flushes).
    const uint32_t streams = s.queue_depth;
    CompareSourceSettings cs;
    cs.random = s.random;
    cs.range_bytes = range_bytes;
    cs.request_size = s.request_size;
    cs.streams = streams;
    cs.actions = make_action_table(0, 0, 0, crypto_random64());
    CompareSource source(std::move(cs));
    StampedPatternPolicy policy(s.pattern, s.sector_size, s.read_every, streams);

    static std::atomic<bool> never{false};
    PerfParams p;
    p.cancel = &never;
    p.open = std::move(open);
    p.sector_size = s.sector_size;
    p.range_mb = s.range_mb;
    p.request_size = s.request_size;
    p.queue_depth = streams;
    p.limit_mb = s.limit_mb;
    p.limit_sec = s.limit_sec;
    p.stall_seconds = 180;
    p.processors = s.processors;
    p.rate = 10;
    p.on_status = [](const std::string&) {};
    p.make_source = [&source](const SourcePlace&, ByteBudget& budget) {
        source.use_budget(budget);
        return std::make_unique<SharedSourceHandle>(source);
    };
    p.policy = &policy;

    WorkloadResult result;
    f.rc = run_performance(p, result);
    f.seconds = static_cast<double>(result.elapsed_ms) / 1000.0;
    f.written_bytes = source.last_sequence() * s.request_size;
    // A run that ended normally has checked every read-back it asked for
    // (the workers drain before they leave) and found each one equal.
    if (f.rc == 1) f.verified_bytes = policy.read_backs() * s.request_size;
    f.completed_requests = result.completed_requests;
    return f;
}

}  // namespace tb
