// The random-size overlap test's request source and data policy: the size
// table, the in-flight rule, where overlap requests go, the pause for a
// verification read and the image the reads are checked against.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "workload/byte_budget.h"
#include "workload/overlap_image_policy.h"
#include "workload/overlap_source.h"

namespace tb {
namespace {

bool overlap(const PlannedIo& a, const PlannedIo& b) {
    return a.offset < b.offset + b.length && b.offset < a.offset + a.length;
}

OverlapSourceSettings small_range(uint32_t rand_ratio, uint32_t over_ratio) {
    OverlapSourceSettings s;
    s.start_offset = 1 << 20;
    s.range_bytes = 1 << 20;  // small, so that draws meet requests in flight
    s.sector_size = 512;
    s.rand_ratio = rand_ratio;
    s.over_ratio = over_ratio;
    s.verify_interval_ms = 0;  // no verification
    s.seed = 11;
    return s;
}

TEST(OverlapSizeTable, TheMixHasTheExactCountsOfEverySize) {
    for (uint32_t seed : {1u, 2u, 77u}) {
        const auto t = make_overlap_size_table(0, seed);
        std::map<uint32_t, int> counts;
        for (uint32_t size : t) ++counts[size];
        const std::map<uint32_t, int> expected = {{512, 4},  {1024, 1},  {1536, 1},  {2048, 1},
                                                  {2560, 1}, {3072, 1},  {3584, 1},  {4096, 67},
                                                  {8192, 10}, {16384, 7}, {32768, 3}, {65536, 3}};
        EXPECT_EQ(counts, expected) << "seed " << seed;
    }
    // Shuffled: two seeds give different orders.
    EXPECT_NE(make_overlap_size_table(0, 1), make_overlap_size_table(0, 2));
    const auto fixed = make_overlap_size_table(8192, 5);
    EXPECT_TRUE(std::all_of(fixed.begin(), fixed.end(), [](uint32_t v) { return v == 8192; }));
}

TEST(OverlapSource, NoRequestOverlapsOneInFlightAndAllStayInTheRange) {
    OverlapSource source(small_range(50, 60));
    std::mt19937 rng(3);
    std::vector<std::pair<uint32_t, PlannedIo>> in_flight;
    uint64_t ready = 0, overlapping_draws_refused = 0;
    for (int step = 0; step < 20000; ++step) {
        const uint32_t stream = rng() % 32;
        const bool busy = std::any_of(in_flight.begin(), in_flight.end(), [&](auto& e) { return e.first == stream; });
        if (!busy) {
            PlannedIo io;
            const Draw d = source.next(stream, io);
            if (d.status == DrawStatus::Ready) {
                ++ready;
                ASSERT_EQ(io.action, IoAction::Write);
                ASSERT_GT(io.length, 0u);
                ASSERT_EQ(io.offset % 512, 0u);
                ASSERT_EQ(io.length % 512, 0u);
                ASSERT_GE(io.offset, uint64_t{1} << 20);
                ASSERT_LE(io.offset + io.length, uint64_t{2} << 20);
                for (const auto& [other_stream, other] : in_flight)
                    ASSERT_FALSE(overlap(io, other)) << "stream " << stream << " offset " << io.offset
                                                     << " meets stream " << other_stream;
                in_flight.emplace_back(stream, io);
            } else {
                ASSERT_EQ(d.status, DrawStatus::Wait);
                ++overlapping_draws_refused;
            }
        }
        if (!in_flight.empty() && rng() % 3 == 0) {
            const size_t i = rng() % in_flight.size();
            source.done(in_flight[i].first, in_flight[i].second);
            in_flight.erase(in_flight.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    EXPECT_GT(ready, 5000u);
    EXPECT_GT(source.completed_writes(), 100u);
}

TEST(OverlapSource, SequenceNumbersGrowByOnePerRequest) {
    OverlapSource source(small_range(0, 0));
    PlannedIo io;
    uint64_t expected_offset = 1 << 20;
    for (uint64_t n = 1; n <= 300; ++n) {
        ASSERT_EQ(source.next(0, io).status, DrawStatus::Ready);
        EXPECT_EQ(io.sequence, n);
        // Sequential: the next position, back to the start at the range end.
        EXPECT_EQ(io.offset, expected_offset);
        expected_offset += io.length;
        if (expected_offset >= (2u << 20)) expected_offset = 1 << 20;
        source.done(0, io);
    }
}

TEST(OverlapSource, OverlapRequestsStartAtARecentCompletedWriteWithTheSlotsSize) {
    OverlapSourceSettings s = small_range(100, 100);
    s.fixed_size = 4096;
    OverlapSource source(s);
    std::vector<uint64_t> completed;
    PlannedIo io;
    // Fewer than 100 completed writes: no overlap yet, random sectors of the
    // table's size.
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(source.next(0, io).status, DrawStatus::Ready);
        EXPECT_EQ(io.length, std::min<uint64_t>(4096, (2u << 20) - io.offset));
        source.done(0, io);
        completed.push_back(io.offset);
    }
    for (int i = 0; i < 2000; ++i) {
        const uint32_t stream = static_cast<uint32_t>(i % 32);
        ASSERT_EQ(source.next(stream, io).status, DrawStatus::Ready);
        const std::set<uint64_t> recent(completed.end() - 100, completed.end());
        ASSERT_TRUE(recent.count(io.offset)) << "offset " << io.offset << " is not among the last 100 completed";
        const uint64_t slot_size = std::max<uint64_t>(4096ull * ((stream + 1) / 8), 512);
        EXPECT_EQ(io.length, std::min<uint64_t>(slot_size, (2u << 20) - io.offset)) << "stream " << stream;
        source.done(stream, io);
        completed.push_back(io.offset);
    }
}

TEST(OverlapSource, VerificationWaitsForEveryWriteThenReadsOnceAndResumes) {
    OverlapSourceSettings s = small_range(100, 0);
    s.verify_interval_ms = 1;
    OverlapSource source(s);
    PlannedIo first, second, io;
    ASSERT_EQ(source.next(0, first).status, DrawStatus::Ready);  // starts the clock
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // Due: nothing new while a write is in flight.
    EXPECT_EQ(source.next(1, second).status, DrawStatus::Paused);
    source.done(0, first);
    ASSERT_EQ(source.next(1, io).status, DrawStatus::Ready);
    EXPECT_EQ(io.action, IoAction::Read);
    EXPECT_EQ(io.offset % 512, 0u);
    EXPECT_LE(io.length, kOverlapVerifyBytes);
    EXPECT_EQ(io.length, std::min<uint64_t>(kOverlapVerifyBytes, (2u << 20) - io.offset));
    // Only one read, and no writes while it is out.
    EXPECT_EQ(source.next(2, second).status, DrawStatus::Paused);
    source.done(1, io);
    EXPECT_EQ(source.verifications(), 1u);
    ASSERT_EQ(source.next(2, second).status, DrawStatus::Ready);
    EXPECT_EQ(second.action, IoAction::Write);
}

TEST(OverlapSource, TheByteBudgetEndsTheRun) {
    OverlapSourceSettings s = small_range(0, 0);
    s.fixed_size = 65536;
    OverlapSource source(s);
    ByteBudget budget;
    budget.configure(4 * 65536, 0);
    source.use_budget(budget);
    PlannedIo io;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(source.next(0, io).status, DrawStatus::Ready);
        source.done(0, io);
    }
    EXPECT_EQ(source.next(0, io).status, DrawStatus::LimitReached);
}

TEST(OverlapImagePolicy, CompletedWritesEnterTheImageAndReadsAreCheckedAgainstIt) {
    std::vector<uint8_t> image(64 * 1024, 0);
    const uint64_t start = 1 << 20;
    OverlapImagePolicy policy(image, start, 512);
    PlannedIo w;
    w.action = IoAction::Write;
    w.offset = start + 4096;
    w.length = 8192;
    w.sequence = 9;
    std::vector<uint8_t> data(w.length);
    policy.prepare_write(w, data);
    // LBA and sequence number, most significant byte first.
    EXPECT_EQ(data[7], static_cast<uint8_t>((w.offset / 512) & 0xFF));
    EXPECT_EQ(data[15], 9);
    EXPECT_FALSE(policy.wants_read_back(0, w));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), image.begin() + 4096));

    PlannedIo r;
    r.action = IoAction::Read;
    r.offset = start;
    r.length = 32768;
    std::vector<uint8_t> disk(image.begin(), image.begin() + 32768);
    EXPECT_FALSE(policy.check(r, {}, disk).has_value());
    disk[4096 + 512 * 3 + 100] ^= 1;  // the fourth sector of the write
    ASSERT_TRUE(policy.check(r, {}, disk).has_value());
    EXPECT_EQ(*policy.check(r, {}, disk), 8u + 3u);
    std::vector<uint8_t> expected(r.length);
    policy.expected_data(r, expected);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.begin()));
}

}  // namespace
}  // namespace tb
