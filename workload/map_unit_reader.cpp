#include "workload/map_unit_reader.h"

#include <chrono>
#include <vector>

#include "script/error_policy.h"
#include "workload/aligned_buffer.h"

namespace tb {

namespace {

using Clock = std::chrono::steady_clock;

struct ReadSlot {
    bool pending = false;
    bool arrived = false;
    int32_t result = 0;
};

}  // namespace

int32_t read_units(IoTarget& target, const UnitReadPlan& plan, const UnitVisitor& visit) {
    const uint32_t depth = plan.depth ? plan.depth : 1;
    AlignedBuffer buffers;
    if (!buffers.allocate(size_t{depth} * plan.unit_bytes)) return kErrHostMemory;
    std::unique_ptr<IoQueue> queue = target.make_queue(depth, buffers.span());
    if (!queue) return kErrOpenDisk;
    std::vector<ReadSlot> slots(depth);
    std::vector<IoCompletion> done(depth);
    auto buffer = [&](uint64_t unit) { return buffers.data() + (unit % depth) * plan.unit_bytes; };
    uint64_t next_issue = 0, next_visit = 0;
    uint32_t in_flight = 0;
    bool stopping = false;
    Clock::time_point last_progress = Clock::now(), last_tick = Clock::now();
    auto drain = [&]() {
        for (uint32_t s = 0; s < depth; ++s)
            if (slots[s].pending) queue->cancel(s);
        const Clock::time_point start = Clock::now();
        while (in_flight > 0 && Clock::now() - start < std::chrono::seconds(10)) {
            const size_t n = queue->wait(done, 100000);
            for (size_t i = 0; i < n; ++i) {
                slots[done[i].tag].pending = false;
                --in_flight;
            }
        }
    };
    while (next_visit < plan.units) {
        if (!stopping && plan.stop && plan.stop()) stopping = true;
        if (stopping) {
            drain();
            return 1;
        }
        while (next_issue < plan.units && next_issue < next_visit + depth) {
            const uint32_t s = static_cast<uint32_t>(next_issue % depth);
            IoRequest req{IoOp::Read, plan.region_start + next_issue * plan.unit_bytes, buffer(next_issue),
                          plan.unit_bytes, s};
            slots[s] = ReadSlot{true, false, 0};
            SubmitResult r = queue->submit(req);
            if (r.status != SubmitStatus::Pending) slots[s] = ReadSlot{false, true, r.result};
            else ++in_flight;
            ++next_issue;
        }
        ReadSlot& head = slots[next_visit % depth];
        if (head.arrived) {
            const bool ok = head.result == static_cast<int32_t>(plan.unit_bytes);
            head.arrived = false;
            const std::span<const uint8_t> data = ok ? std::span<const uint8_t>(buffer(next_visit), plan.unit_bytes)
                                                     : std::span<const uint8_t>();
            if (!visit(next_visit, data)) stopping = true;
            ++next_visit;
            last_progress = Clock::now();
            continue;
        }
        if (plan.tick && Clock::now() - last_tick >= std::chrono::milliseconds(100)) {
            plan.tick(next_visit);
            last_tick = Clock::now();
        }
        queue->kick();
        const size_t n = queue->wait(done, 10000);
        for (size_t i = 0; i < n; ++i) {
            ReadSlot& s = slots[done[i].tag];
            s.pending = false;
            s.arrived = true;
            s.result = done[i].result;
            --in_flight;
            last_progress = Clock::now();
        }
        if (n == 0 && Clock::now() - last_progress >= std::chrono::milliseconds(plan.timeout_ms)) {
            drain();
            return kErrIoTimeout;
        }
    }
    return 1;
}

}  // namespace tb
