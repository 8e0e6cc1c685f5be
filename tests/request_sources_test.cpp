// The request sources of the engine: the action table's exact counts, the
// stripes of random units, and the write/verify loops' source (no offset in
// flight twice, sequence numbers unique and increasing, the sequential
// cursor's wrap, the byte budget, step pacing), and the performance
// source's streams, which each read their range once.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "workload/action_table.h"
#include "workload/byte_budget.h"
#include "workload/compare_source.h"
#include "workload/engine.h"
#include "workload/perf_source.h"
#include "workload/stripe_units.h"

namespace tb {
namespace {

std::map<IoAction, int> counts_of(const std::vector<IoAction>& table) {
    std::map<IoAction, int> n;
    for (IoAction a : table) ++n[a];
    return n;
}

TEST(ActionTable, HoldsExactlyTheAskedCountsAtDrawnPositions) {
    const std::vector<IoAction> a = make_action_table(1234, 567, 89, 1);
    ASSERT_EQ(a.size(), kActionTableSize);
    auto n = counts_of(a);
    EXPECT_EQ(n[IoAction::Trim], 1234);
    EXPECT_EQ(n[IoAction::FuaWrite], 567);
    EXPECT_EQ(n[IoAction::Flush], 89);
    EXPECT_EQ(n[IoAction::Write], 10000 - 1234 - 567 - 89);
    // The positions are drawn: another seed puts them elsewhere, and the
    // trims are not all at the front.
    EXPECT_NE(a, make_action_table(1234, 567, 89, 2));
    EXPECT_LT(std::count(a.begin(), a.begin() + 1234, IoAction::Trim), 1234);

    EXPECT_EQ(counts_of(make_action_table(0, 0, 0, 7))[IoAction::Write], 10000);
    EXPECT_EQ(counts_of(make_action_table(10000, 0, 0, 7))[IoAction::Trim], 10000);
    EXPECT_TRUE(make_action_table(5000, 4000, 1001, 7).empty());
}

TEST(StripeUnits, StripesAreDisjointAndCoverTheRange) {
    for (uint64_t units : {1ull, 7ull, 64ull, 1000ull}) {
        for (uint32_t streams : {1u, 3u, 8u}) {
            if (units < streams) continue;
            StripeUnits s(units, streams);
            std::vector<int> owner(units, -1);
            uint64_t total = 0;
            for (uint32_t st = 0; st < streams; ++st) {
                total += s.share(st);
                for (uint64_t r = 0; r < s.share(st); ++r) {
                    const uint64_t u = s.unit(st, r);
                    ASSERT_LT(u, units);
                    EXPECT_EQ(owner[u], -1) << "unit " << u << " in two stripes";
                    owner[u] = static_cast<int>(st);
                }
            }
            EXPECT_EQ(total, units);
            for (uint32_t st = 0; st < streams; ++st)
                for (int i = 0; i < 50; ++i) {
                    uint64_t u;
                    ASSERT_TRUE(s.draw(st, u));
                    EXPECT_EQ(owner[u], static_cast<int>(st));
                }
        }
    }
}

CompareSourceSettings settings(bool random, uint64_t range_bytes, uint32_t size, uint32_t streams) {
    CompareSourceSettings s;
    s.random = random;
    s.start_offset = 1 << 20;
    s.range_bytes = range_bytes;
    s.request_size = size;
    s.streams = streams;
    return s;
}

TEST(CompareSource, SequentialWritesWalkTheRangeAndWrapBeforeItsEnd) {
    // 5 requests of 3 sectors fit in 16 sectors: the sixth starts over.
    CompareSource src(settings(false, 16 * 512, 3 * 512, 1));
    std::vector<uint64_t> offsets;
    for (int i = 0; i < 7; ++i) {
        PlannedIo io;
        ASSERT_EQ(src.next(0, io).status, DrawStatus::Ready);
        EXPECT_EQ(io.action, IoAction::Write);
        EXPECT_EQ(io.sequence, static_cast<uint64_t>(i + 1));
        offsets.push_back((io.offset - (1 << 20)) / 512);
        src.done(0, io);
    }
    EXPECT_EQ(offsets, (std::vector<uint64_t>{0, 3, 6, 9, 12, 0, 3}));
}

TEST(CompareSource, AnOffsetInFlightIsNotHandedOutAgain) {
    // Sequential: two streams on a range of two requests.
    CompareSource seq(settings(false, 2 * 4096, 4096, 2));
    PlannedIo a, b, c;
    ASSERT_EQ(seq.next(0, a).status, DrawStatus::Ready);
    ASSERT_EQ(seq.next(1, b).status, DrawStatus::Ready);
    EXPECT_NE(a.offset, b.offset);
    EXPECT_EQ(seq.next(0, c).status, DrawStatus::Wait);  // the cursor is back on `a`
    seq.done(0, a);
    ASSERT_EQ(seq.next(0, c).status, DrawStatus::Ready);
    EXPECT_EQ(c.offset, a.offset);

    // Random: many streams drawing and completing at random never hold the
    // same offset twice, and each stays in its stripe.
    const uint32_t streams = 8;
    CompareSource rnd(settings(true, 64 * 4096, 4096, streams));
    std::vector<std::optional<PlannedIo>> held(streams);
    std::set<uint64_t> busy;
    for (int step = 0; step < 5000; ++step) {
        const uint32_t s = static_cast<uint32_t>(step * 7919 % streams);
        if (held[s]) {
            busy.erase(held[s]->offset);
            rnd.done(s, *held[s]);
            held[s].reset();
            continue;
        }
        PlannedIo io;
        if (rnd.next(s, io).status != DrawStatus::Ready) continue;
        const uint64_t unit = (io.offset - (1 << 20)) / 4096;
        EXPECT_EQ(unit % streams, s) << "outside the stream's stripe";
        EXPECT_TRUE(busy.insert(io.offset).second) << "offset handed out twice";
        held[s] = io;
    }
}

TEST(CompareSource, SequenceNumbersAreUniqueAndIncreaseAcrossThreads) {
    CompareSourceSettings cs = settings(true, 4096ull * 4096, 4096, 4);
    cs.actions = make_action_table(2000, 2000, 1000, 3);
    CompareSource src(std::move(cs));
    std::mutex m;
    std::vector<uint64_t> all;
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::vector<uint64_t> mine;
            for (int i = 0; i < 2000; ++i) {
                PlannedIo io;
                if (src.next(t, io).status != DrawStatus::Ready) continue;
                if (is_write(io.action)) mine.push_back(io.sequence);
                else EXPECT_EQ(io.sequence, 0u);
                src.done(t, io);
            }
            EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
            std::lock_guard l(m);
            all.insert(all.end(), mine.begin(), mine.end());
        });
    for (auto& t : threads) t.join();
    std::sort(all.begin(), all.end());
    ASSERT_FALSE(all.empty());
    // Every number from 1 up, each once.
    for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], i + 1);
    EXPECT_EQ(all.back(), src.last_sequence());
}

TEST(CompareSource, ActionsFollowTheTableAndTakeTheBudget) {
    CompareSourceSettings cs = settings(false, 64 * 4096, 4096, 1);
    cs.actions = make_action_table(2500, 2500, 2500, 11);
    const std::vector<IoAction> table = cs.actions;
    CompareSource src(std::move(cs));
    ByteBudget budget;
    budget.configure(0, 64 * 4096);
    src.use_budget(budget);
    size_t i = 0;
    for (;; ++i) {
        PlannedIo io;
        Draw d = src.next(0, io);
        if (d.status == DrawStatus::CycleDone) break;
        ASSERT_EQ(d.status, DrawStatus::Ready);
        ASSERT_EQ(io.action, table[i]);
        EXPECT_EQ(io.length, io.action == IoAction::Flush ? 0u : 4096u);
        src.done(0, io);
        if (d.fills_cycle) {
            ++i;
            break;
        }
    }
    // 64 requests that carry data, and the flushes between them.
    EXPECT_EQ(budget.cycle_bytes(), 64u * 4096);
    EXPECT_EQ(static_cast<size_t>(i - std::count(table.begin(), table.begin() + i, IoAction::Flush)), 64u);
}

TEST(CompareSource, StepDelayPausesBeforeTheFirstRequestAndAfterEachStepRun) {
    set_workload_time_scale(1000.0);  // a workload second is a real millisecond
    CompareSourceSettings cs = settings(false, 64 * 4096, 4096, 1);
    cs.step_delay_sec = 2;
    cs.step_run_sec = 3;
    CompareSource src(std::move(cs));
    PlannedIo io;
    EXPECT_EQ(src.next(0, io).status, DrawStatus::Paused);
    workload_sleep_ms(2100);
    ASSERT_EQ(src.next(0, io).status, DrawStatus::Ready);
    src.done(0, io);
    workload_sleep_ms(3100);
    EXPECT_EQ(src.next(0, io).status, DrawStatus::Paused);
    workload_sleep_ms(2100);
    EXPECT_EQ(src.next(0, io).status, DrawStatus::Ready);
    set_workload_time_scale(1.0);
}

}  // namespace
}  // namespace tb

namespace tb {
namespace {

// Streams of their own cursor share one byte budget of exactly their ranges.
// A stream that has passed its end keeps being asked (the engine visits
// every slot on every turn) and must not take bytes the others still need:
// each stream reads every unit once, and the cycle only ends by the last
// request filling the limit.
TEST(PerfSource, EndedStreamsLeaveTheSharedBudgetToTheOthers) {
    constexpr uint32_t kStreams = 4, kUnits = 32, kSize = 128 * 1024;
    for (int round = 0; round < 200; ++round) {
        PerfMix mix;
        mix.request_size = kSize;
        mix.last_offset = uint64_t{kUnits - 1} * kSize;
        mix.units = kUnits;
        mix.per_stream = true;
        ByteBudget budget;
        budget.configure(uint64_t{kUnits} * kSize * kStreams, uint64_t{kUnits} * kSize * kStreams);
        std::atomic<uint64_t> cursor{0};
        std::atomic<uint32_t> running{kStreams};
        std::vector<std::vector<uint64_t>> read(kStreams);
        std::vector<std::thread> threads;
        for (uint32_t t = 0; t < kStreams; ++t)
            threads.emplace_back([&, t] {
                PerfSource src(mix, cursor, budget, SourcePlace{t, t, 1, kStreams}, 7);
                bool ended = false;
                while (running.load() > 0) {
                    PlannedIo io;
                    Draw d = src.next(t, io);
                    if (d.status == DrawStatus::Ready) {
                        read[t].push_back(io.offset);
                        continue;
                    }
                    if (d.status != DrawStatus::StreamEnded) {  // the budget refused
                        if (!ended) running.fetch_sub(1);
                        return;
                    }
                    if (!ended) running.fetch_sub(1);
                    ended = true;
                }
            });
        for (auto& t : threads) t.join();
        for (uint32_t t = 0; t < kStreams; ++t) {
            ASSERT_EQ(read[t].size(), kUnits) << "round " << round << " stream " << t;
            for (uint32_t i = 0; i < kUnits; ++i) ASSERT_EQ(read[t][i], uint64_t{i} * kSize);
        }
        ASSERT_EQ(budget.total_bytes(), uint64_t{kUnits} * kSize * kStreams);
    }
}

}  // namespace
}  // namespace tb
