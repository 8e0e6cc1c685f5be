// A map as a request source: records in order, numbered writes, nothing
// handed out on an offset in flight, flushes only after everything before
// them, and nothing after a flush or trim until it is done.
#include <gtest/gtest.h>

#include "workload/map_source.h"

namespace {

using namespace tb;

LbaMap map_of(std::vector<MapRecord> records) {
    LbaMap m;
    m.header = MapHeader{0, 8 * 4096, 4096, static_cast<uint32_t>(records.size())};
    m.records = std::move(records);
    return m;
}

TEST(MapReplaySource, NumbersWritesAndWaitsForTheSameOffset) {
    LbaMap m = map_of({{0, MapAction::Write}, {4096, MapAction::FuaWrite}, {0, MapAction::Write}});
    MapReplaySource s(m, false);
    ASSERT_TRUE(s.ok());
    PlannedIo a, b, c;
    ASSERT_EQ(s.next(0, a).status, DrawStatus::Ready);
    EXPECT_EQ(a.action, IoAction::Write);
    EXPECT_EQ(a.sequence, 1u);
    EXPECT_EQ(a.write_count, 1u);
    ASSERT_EQ(s.next(1, b).status, DrawStatus::Ready);
    EXPECT_EQ(b.action, IoAction::FuaWrite);
    EXPECT_EQ(b.sequence, 2u);
    EXPECT_EQ(b.record, 1u);
    // Record 2 writes offset 0 again: it waits for record 0.
    EXPECT_EQ(s.next(2, c).status, DrawStatus::Wait);
    s.done(0, a);
    ASSERT_EQ(s.next(2, c).status, DrawStatus::Ready);
    EXPECT_EQ(c.sequence, 3u);
    EXPECT_EQ(c.write_count, 2u);
    EXPECT_EQ(s.next(0, a).status, DrawStatus::Ended);
}

TEST(MapReplaySource, FlushWaitsForEverythingBeforeItAndBlocksWhatFollows) {
    LbaMap m = map_of({{0, MapAction::Write}, {0, MapAction::Flush}, {4096, MapAction::Trim}, {8192, MapAction::Write}});
    MapReplaySource s(m, false);
    PlannedIo w, f, t, x;
    ASSERT_EQ(s.next(0, w).status, DrawStatus::Ready);
    EXPECT_EQ(s.next(1, f).status, DrawStatus::Wait);  // the write is in flight
    s.done(0, w);
    ASSERT_EQ(s.next(1, f).status, DrawStatus::Ready);
    EXPECT_EQ(f.action, IoAction::Flush);
    EXPECT_EQ(f.length, 0u);
    EXPECT_EQ(s.next(2, t).status, DrawStatus::Wait);  // nothing while the flush runs
    s.done(1, f);
    ASSERT_EQ(s.next(2, t).status, DrawStatus::Ready);
    EXPECT_EQ(t.action, IoAction::Trim);
    EXPECT_EQ(t.sequence, 0u);
    EXPECT_EQ(s.next(3, x).status, DrawStatus::Wait);  // nothing while the trim runs
    s.done(2, t);
    ASSERT_EQ(s.next(3, x).status, DrawStatus::Ready);
    EXPECT_EQ(x.sequence, 2u);  // trims and flushes take no write number
}

TEST(MapReplaySource, WriteAndComparePlayNumbersByRecordWithoutWriteCount) {
    LbaMap m = map_of({{0, MapAction::Trim}, {4096, MapAction::Write}});
    MapReplaySource s(m, true);
    PlannedIo t, w;
    ASSERT_EQ(s.next(0, t).status, DrawStatus::Ready);
    s.done(0, t);
    ASSERT_EQ(s.next(0, w).status, DrawStatus::Ready);
    EXPECT_EQ(w.sequence, 2u);
    EXPECT_EQ(w.write_count, 0u);
}

}  // namespace
