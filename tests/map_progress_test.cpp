// The map progress record: its text, its refusals, and how the keeper keeps
// the file on disk a safe description of the play at every moment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "workload/map_progress.h"

namespace {

using namespace tb;

MapProgress sample() {
    MapProgress p;
    p.map_path = "/x/[LBAMap_1]/LBAMap.map";
    p.map_records = 100;
    p.write_pattern = 0x55AA33CC;
    p.base_pattern = 0;
    p.floor = 10;
    p.limit = 40;
    p.flushed = 7;
    p.issued = 30;
    p.completed = 12;
    p.done = {12, 13};
    return p;
}

TEST(MapProgressRecord, RoundTripsAndAnswersWhatIsCompleteOrUncertain) {
    MapProgress back;
    ASSERT_TRUE(decode_map_progress(encode_map_progress(sample()), back));
    EXPECT_EQ(back.map_path, "/x/[LBAMap_1]/LBAMap.map");
    EXPECT_EQ(back.base_pattern, 0u);
    EXPECT_EQ(back.done, (std::vector<uint32_t>{12, 13}));
    EXPECT_TRUE(back.complete(9));
    EXPECT_FALSE(back.uncertain(9));
    EXPECT_TRUE(back.uncertain(10));
    EXPECT_TRUE(back.complete(12));
    EXPECT_FALSE(back.uncertain(12));
    EXPECT_TRUE(back.uncertain(39));
    EXPECT_FALSE(back.uncertain(40));  // never issued
    EXPECT_FALSE(back.complete(40));
    EXPECT_EQ(progress_path_for("/a/b/LBAMap.map"), "/a/b/LBAMap.progress");
}

TEST(MapProgressRecord, RefusesTornOrInconsistentRecords) {
    const std::string good = encode_map_progress(sample());
    MapProgress out;
    EXPECT_FALSE(decode_map_progress(good.substr(0, good.size() - 4), out));  // no "end"
    EXPECT_FALSE(decode_map_progress("", out));
    std::string floor_past_limit = good;
    floor_past_limit.replace(floor_past_limit.find("floor=10"), 8, "floor=50");
    EXPECT_FALSE(decode_map_progress(floor_past_limit, out));
    std::string done_outside = good;
    done_outside.replace(done_outside.find("done=12,13"), 10, "done=12,45");
    EXPECT_FALSE(decode_map_progress(done_outside, out));
    std::string bad_number = good;
    bad_number.replace(bad_number.find("issued=30"), 9, "issued=3x");
    EXPECT_FALSE(decode_map_progress(bad_number, out));
}

class MapProgressKeeperTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("map-progress-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "LBAMap.progress").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    MapProgress on_disk() {
        std::optional<MapProgress> p = load_map_progress(path_);
        EXPECT_TRUE(p.has_value());
        return p.value_or(MapProgress{});
    }
    std::filesystem::path dir_;
    std::string path_;
};

TEST_F(MapProgressKeeperTest, TheFileNeverClaimsAnIssuedRecordWasNotIssued) {
    MapProgress start;
    start.map_records = 1000;
    MapProgressKeeper k(path_, start, 4);
    ASSERT_TRUE(k.begin());
    EXPECT_EQ(on_disk().limit, 0u);
    for (uint32_t i = 0; i < 200; ++i) {
        ASSERT_TRUE(k.reserve(i));
        k.issued();
        // Whatever is on disk now covers record i as possibly issued.
        EXPECT_GT(on_disk().limit, i);
        if (i >= 4) ASSERT_TRUE(k.completed(i - 4));
    }
    // Saves are batched: far fewer than one per record.
    EXPECT_LT(k.saves(), 40u);
}

TEST_F(MapProgressKeeperTest, CompletionsAfterTheLastSaveStayUncertainNeverComplete) {
    MapProgress start;
    start.map_records = 100;
    MapProgressKeeper k(path_, start, 2);
    ASSERT_TRUE(k.begin());
    for (uint32_t i = 0; i < 6; ++i) {
        ASSERT_TRUE(k.reserve(i));
        k.issued();
    }
    ASSERT_TRUE(k.completed(0));  // the first save of completions (100 ms since begin may not have passed)
    ASSERT_TRUE(k.completed(2));
    const MapProgress p = on_disk();
    // Records 1 and 3..5 were issued and not complete: uncertain in any record.
    for (uint32_t i : {1u, 3u, 4u, 5u}) EXPECT_TRUE(p.uncertain(i)) << i;
    // A record is only complete on disk when it was complete in memory.
    for (uint32_t i = 0; i < 100; ++i)
        if (p.complete(i)) EXPECT_TRUE(i == 0 || i == 2) << i;
}

TEST_F(MapProgressKeeperTest, FlushIsSavedAtOnceAndTheEndClosesTheWindow) {
    MapProgress start;
    start.map_records = 5;
    MapProgressKeeper k(path_, start, 1);
    ASSERT_TRUE(k.begin());
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(k.reserve(i));
        k.issued();
        ASSERT_TRUE(k.completed(i));
    }
    ASSERT_TRUE(k.reserve(3));
    k.issued();
    ASSERT_TRUE(k.flushed(3));
    MapProgress p = on_disk();
    EXPECT_EQ(p.flushed, 4u);
    EXPECT_EQ(p.floor, 4u);
    ASSERT_TRUE(k.reserve(4));
    k.issued();
    ASSERT_TRUE(k.completed(4));
    ASSERT_TRUE(k.finish(true));
    p = on_disk();
    EXPECT_TRUE(p.finished);
    EXPECT_EQ(p.floor, 5u);
    EXPECT_EQ(p.limit, 5u);
    EXPECT_EQ(p.issued, 5u);
    EXPECT_EQ(p.completed, 5u);
    EXPECT_FALSE(std::filesystem::exists(path_ + ".new"));
}

TEST_F(MapProgressKeeperTest, APlayStoppedEarlyLeavesOnlyItsRecordsInFlightUncertain) {
    MapProgress start;
    start.map_records = 100;
    MapProgressKeeper k(path_, start, 4);
    ASSERT_TRUE(k.begin());
    for (uint32_t i = 0; i < 6; ++i) {
        ASSERT_TRUE(k.reserve(i));
        k.issued();
    }
    for (uint32_t i : {0u, 1u, 2u, 4u}) ASSERT_TRUE(k.completed(i));
    EXPECT_GT(on_disk().limit, 6u);  // reserved ahead while playing
    // The disk went away: the play stops with records 3 and 5 in flight.
    ASSERT_TRUE(k.finish(false));
    const MapProgress p = on_disk();
    EXPECT_FALSE(p.finished);
    EXPECT_EQ(p.limit, 6u);
    for (uint32_t i : {0u, 1u, 2u, 4u}) EXPECT_TRUE(p.complete(i)) << i;
    EXPECT_TRUE(p.uncertain(3));
    EXPECT_TRUE(p.uncertain(5));
    // Records reserved but never issued cannot excuse a unit's lost data.
    for (uint32_t i = 6; i < 100; ++i) EXPECT_FALSE(p.uncertain(i)) << i;
}

}  // namespace
