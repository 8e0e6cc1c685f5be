// The compare tests' data policy and the engine's failures of their
// actions: stamped writes and their rebuilt copies, trims that must read
// back as zeros or 0xFF, the read-back every n-th data-changing request of
// a stream, and failed flushes, trims and writes.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/sim/sim_target.h"
#include "workload/action_table.h"
#include "workload/compare_source.h"
#include "workload/engine.h"
#include "workload/pattern.h"
#include "workload/stamp_policy.h"

namespace tb {
namespace {

PlannedIo write_at(uint64_t offset, uint32_t length, uint64_t sequence) {
    PlannedIo io;
    io.action = IoAction::Write;
    io.offset = offset;
    io.length = length;
    io.sequence = sequence;
    return io;
}

TEST(StampedPatternPolicy, WritesCarryLbaSequenceAndPatternAndRebuildExactly) {
    StampedPatternPolicy fixed(0x55AA33CC, 512, 1, 1);
    PlannedIo io = write_at(8 * 512, 2048, 42);
    std::vector<uint8_t> data(2048);
    fixed.prepare_write(io, data);
    EXPECT_EQ(io.pattern, 0x55AA33CCu);
    for (uint64_t s = 0; s < 4; ++s) {
        EXPECT_EQ(get_be64(&data[s * 512]), 8 + s);
        EXPECT_EQ(get_be64(&data[s * 512 + 8]), 42u);
        EXPECT_EQ(data[s * 512 + 16], 0x55);
        EXPECT_EQ(data[s * 512 + 19], 0xCC);
    }
    std::vector<uint8_t> rebuilt(2048);
    fixed.expected_data(io, rebuilt);
    EXPECT_EQ(rebuilt, data);
    EXPECT_FALSE(fixed.check(io, data, data));
    EXPECT_FALSE(fixed.check(io, {}, data));  // checked against the rebuilt copy

    // One changed byte in the third sector names that sector, with or
    // without the written buffer at hand.
    std::vector<uint8_t> read = data;
    read[2 * 512 + 100] ^= 1;
    EXPECT_EQ(fixed.check(io, data, read), std::optional<uint32_t>(2));
    EXPECT_EQ(fixed.check(io, {}, read), std::optional<uint32_t>(2));

    // "AUTO" draws a value per fill and keeps it with the request.
    StampedPatternPolicy autop(kPatternAuto, 512, 1, 1);
    PlannedIo a = write_at(0, 512, 1), b = write_at(0, 512, 2);
    std::vector<uint8_t> da(512), db(512), ra(512);
    autop.prepare_write(a, da);
    autop.prepare_write(b, db);
    autop.expected_data(a, ra);
    EXPECT_EQ(ra, da);
    EXPECT_EQ(get_be64(&da[8]), 1u);
}

TEST(StampedPatternPolicy, ATrimReadsBackAsZerosOrOnes) {
    StampedPatternPolicy p(0x11111111, 512, 1, 1);
    PlannedIo trim;
    trim.action = IoAction::Trim;
    trim.offset = 0;
    trim.length = 1536;
    std::vector<uint8_t> read(1536, 0);
    std::fill(read.begin() + 512, read.begin() + 1024, 0xFF);
    EXPECT_FALSE(p.check(trim, {}, read));
    read[1024 + 7] = 0x01;
    EXPECT_EQ(p.check(trim, {}, read), std::optional<uint32_t>(2));
    std::vector<uint8_t> expected(1536, 0xAB);
    p.expected_data(trim, expected);
    EXPECT_EQ(expected, std::vector<uint8_t>(1536, 0));
}

TEST(StampedPatternPolicy, EveryNthDataChangeOfAStreamIsReadBack) {
    StampedPatternPolicy every3(1, 512, 3, 2);
    PlannedIo w = write_at(0, 512, 1), flush;
    flush.action = IoAction::Flush;
    std::vector<bool> s0, s1;
    for (int i = 0; i < 6; ++i) {
        s0.push_back(every3.wants_read_back(0, w));
        if (i < 3) s1.push_back(every3.wants_read_back(1, w));
        EXPECT_FALSE(every3.wants_read_back(0, flush));
    }
    EXPECT_EQ(s0, (std::vector<bool>{false, false, true, false, false, true}));
    EXPECT_EQ(s1, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(every3.read_backs(), 3u);
    StampedPatternPolicy never(1, 512, 0, 1);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(never.wants_read_back(0, w));
}

// A loop run on a memory disk whose requests of one kind fail (`failing`
// empty: none); `keeps_data` false: a disk that drops every write.
int run_with_failing(std::optional<IoOp> failing, std::vector<IoAction> actions, WorkloadResult& r,
                     bool keeps_data = true) {
    SimIoHooks hooks;
    hooks.error = [failing](const IoRequest& req) { return failing && req.op == *failing ? -EIO : 0; };
    auto holder =
        std::make_shared<std::unique_ptr<IoTarget>>(make_memory_target(8ull << 20, 512, hooks, keeps_data));
    static std::atomic<bool> cancel{false};
    PerfParams p;
    p.cancel = &cancel;
    p.open = [holder]() { return std::move(*holder); };
    p.on_status = [](const std::string&) {};
    p.processors = 2;
    p.range_mb = 1;
    p.request_size = 4096;
    p.queue_depth = 4;
    p.limit_mb = 1;
    CompareSourceSettings cs;
    cs.start_offset = 64 * 4096;
    cs.range_bytes = 1 << 20;
    cs.request_size = 4096;
    cs.streams = 4;
    cs.actions = std::move(actions);
    auto source = std::make_shared<CompareSource>(std::move(cs));
    auto policy = std::make_shared<StampedPatternPolicy>(0x12345678u, 512, 1, 4);
    p.make_source = [source](const SourcePlace&, ByteBudget& budget) {
        source->use_budget(budget);
        return std::make_unique<SharedSourceHandle>(*source);
    };
    p.policy = policy.get();
    return run_performance(p, r);
}

TEST(CompareEngineFailures, EachActionFailsWithItsOwnCodeAndPosition) {
    WorkloadResult r;
    EXPECT_EQ(run_with_failing(IoOp::Flush, make_action_table(0, 0, 5000, 1), r), -74);
    EXPECT_EQ(r.final_state, RunState::FlushFailed);
    EXPECT_EQ(run_with_failing(IoOp::Trim, make_action_table(10000, 0, 0, 1), r), -74);
    EXPECT_EQ(r.final_state, RunState::TrimFailed);
    EXPECT_GE(r.position, 64u * 4096);
    EXPECT_LT(r.position, 64u * 4096 + (1 << 20));
    EXPECT_EQ(run_with_failing(IoOp::Write, {}, r), -4);
    // One of the first requests of the range, one per stream.
    EXPECT_GE(r.position, 64u * 4096);
    EXPECT_LT(r.position, 68u * 4096);
    EXPECT_EQ(run_with_failing(IoOp::Read, {}, r), -3);
    EXPECT_EQ(r.final_state, RunState::ReadFailed);
    // Nothing failing: trims, FUA writes and flushes all pass their checks.
    EXPECT_EQ(run_with_failing(std::nullopt, make_action_table(2000, 2000, 2000, 9), r), 1);
    EXPECT_FALSE(r.miscompared) << static_cast<int>(r.miscompare.io.action) << " at " << r.miscompare.io.offset;
    EXPECT_EQ(r.cycle_percent, 100u);
}

TEST(CompareEngineFailures, ADiskThatDropsWritesIsAMiscompareAtAFirstRequest) {
    WorkloadResult r;
    EXPECT_EQ(run_with_failing(std::nullopt, {}, r, false), -70);
    ASSERT_TRUE(r.miscompared);
    // One of the first writes, one per stream; its first sector is wrong.
    EXPECT_LE(r.miscompare.io.sequence, 4u);
    EXPECT_EQ(r.miscompare.first_wrong_offset, r.miscompare.io.offset);
    EXPECT_EQ(r.position, r.miscompare.io.offset);
    EXPECT_EQ(get_be64(r.miscompare.expected.data()), r.miscompare.io.offset / 512);
    EXPECT_EQ(get_be64(r.miscompare.expected.data() + 8), r.miscompare.io.sequence);
    EXPECT_EQ(r.miscompare.read, std::vector<uint8_t>(4096, 0));
}

}  // namespace
}  // namespace tb
