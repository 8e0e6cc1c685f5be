// How an engine run ends when two workers end it at the same moment: one
// issuing the request that fills the transfer limit, the other finding its
// stream at its end. The limit ends the run; no further cycle starts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/sim/sim_target.h"
#include "workload/byte_budget.h"
#include "workload/engine.h"
#include "workload/request_source.h"

namespace tb {
namespace {

constexpr uint32_t kRequest = 1u << 20;  // the whole range and the whole limit

struct Meeting {
    std::atomic<bool> limit_taken{false};
    std::atomic<bool> end_reported{false};
};

// Worker 0 takes the last bytes of the run, then hands its request to the
// engine only after worker 1 has reported its stream's end.
class FillsTheLimitLate final : public RequestSource {
public:
    FillsTheLimitLate(ByteBudget& budget, Meeting& m) : budget_(budget), m_(m) {}
    Draw next(uint32_t, PlannedIo& out) override {
        if (issued_) return {DrawStatus::LimitReached};
        Draw d;
        if (budget_.take(kRequest, d.fills_cycle, d.fills_limit) != ByteBudget::Take::Granted)
            return {DrawStatus::LimitReached};
        m_.limit_taken = true;
        while (!m_.end_reported) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the end has reached the engine
        issued_ = true;
        out.action = IoAction::Read;
        out.offset = 0;
        out.length = kRequest;
        d.status = DrawStatus::Ready;
        return d;
    }

private:
    ByteBudget& budget_;
    Meeting& m_;
    bool issued_ = false;
};

// Worker 1's stream reaches its end once worker 0 has taken the last bytes.
class EndsWhenTheLimitIsTaken final : public RequestSource {
public:
    explicit EndsWhenTheLimitIsTaken(Meeting& m) : m_(m) {}
    Draw next(uint32_t, PlannedIo&) override {
        if (!m_.limit_taken) return {DrawStatus::Wait};
        m_.end_reported = true;
        return {DrawStatus::StreamEnded};
    }

private:
    Meeting& m_;
};

TEST(EngineRunEnd, AStreamEndingBesideTheLimitFillingRequestDoesNotStartAnotherCycle) {
    Meeting meeting;
    std::atomic<bool> cancel{false};
    std::atomic<int> sources_made{0};
    PerfParams p;
    p.cancel = &cancel;
    p.open = [] { return make_memory_target(4ull << 20, 512); };
    p.on_status = [](const std::string&) {};
    p.processors = 2;
    p.queue_depth = 2;  // two workers of one stream each
    p.rate = 10;
    p.request_size = kRequest;
    p.range_mb = 1;
    p.limit_mb = 1;
    p.make_source = [&](const SourcePlace& place, ByteBudget& budget) -> std::unique_ptr<RequestSource> {
        ++sources_made;
        if (place.worker == 0) return std::make_unique<FillsTheLimitLate>(budget, meeting);
        return std::make_unique<EndsWhenTheLimitIsTaken>(meeting);
    };
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    EXPECT_EQ(r.cycles, 1u);
    EXPECT_EQ(r.final_state, RunState::LimitReached);
    EXPECT_EQ(sources_made.load(), 2);
}

}  // namespace
}  // namespace tb
