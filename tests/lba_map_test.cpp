// The LBA map file: its exact bytes, the checked reader's refusals, the
// action table and the draw of records.
#include <gtest/gtest.h>


#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_handle.h"
#include "workload/lba_map.h"
#include "workload/lba_map_file.h"
#include "workload/map_make.h"
#include "tests/temp_dir.h"

namespace {

using namespace tb;

std::vector<uint8_t> hex(std::initializer_list<int> bytes) {
    std::vector<uint8_t> v;
    for (int b : bytes) v.push_back(static_cast<uint8_t>(b));
    return v;
}

LbaMap small_map() {
    LbaMap m;
    m.header = MapHeader{0x1000, 0x200000, 4096, 0};
    m.records = {{0x3000, MapAction::Write}, {0, MapAction::Flush}, {0x1000, MapAction::Trim},
                 {0x200000, MapAction::FuaWrite}};
    return m;
}

TEST(LbaMapFormat, EncodesHeaderAndRecordsPackedLittleEndian) {
    const std::vector<uint8_t> expected = hex({
        0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // region start 0x1000
        0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00,  // region length 0x200000
        0x00, 0x10, 0x00, 0x00,                          // request size 4096
        0x04, 0x00, 0x00, 0x00,                          // 4 records
        0x00, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03,
        0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
        0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02,
    });
    EXPECT_EQ(encode_lba_map(small_map()), expected);
    LbaMap back;
    std::string why;
    ASSERT_TRUE(decode_lba_map(expected, back, why)) << why;
    EXPECT_EQ(back.header.count, 4u);
    EXPECT_EQ(back.records[3].offset, 0x200000u);
    EXPECT_EQ(back.records[3].action, MapAction::FuaWrite);
    EXPECT_EQ(back.unit_of(back.records[3]), 511u);
}

TEST(LbaMapFormat, WriterPatchesTheCountAndAppendKeepsEarlierRecords) {
    tb::test::TempFolder folder("lba-map");
    const std::string dir = folder.dir().string();
    const std::string path = dir + "/LBAMap.map";
    LbaMap m = small_map();
    MapFileWriter w;
    std::string why;
    ASSERT_TRUE(w.create(path, m.header, why)) << why;
    ASSERT_TRUE(w.append(std::span(m.records).first(2)));
    ASSERT_TRUE(w.append(std::span(m.records).subspan(2)));
    MapHeader h = m.header;
    h.count = 4;
    ASSERT_TRUE(w.finish(h));
    std::string bytes;
    ASSERT_TRUE(read_file_bytes(path, bytes));
    const std::vector<uint8_t> want = encode_lba_map(m);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), want);

    MapFileWriter a;
    MapHeader old;
    ASSERT_TRUE(a.open_for_append(path, old, why)) << why;
    EXPECT_EQ(old.count, 4u);
    const MapRecord more[] = {{0x2000, MapAction::Write}};
    ASSERT_TRUE(a.append(more));
    old.count = 5;
    old.region_start = 0;
    old.region_length = 0x201000;
    ASSERT_TRUE(a.finish(old));
    LbaMap back;
    ASSERT_TRUE(load_lba_map(path, back, why)) << why;
    ASSERT_EQ(back.records.size(), 5u);
    EXPECT_EQ(back.records[0].offset, 0x3000u);
    EXPECT_EQ(back.records[4].offset, 0x2000u);
    EXPECT_EQ(back.header.region_start, 0u);
    std::filesystem::remove_all(dir);
}

TEST(LbaMapFormat, FolderNameCarriesLocalTimeToTheMillisecond) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 0;
    t.tm_mday = 9;
    t.tm_hour = 7;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(map_folder_name("W", t, 42), "W\\[LBAMap_20260109-070503-042]");
}

// Every damaged image is refused with a reason, before anything else.
TEST(LbaMapReader, RefusesDamagedMapsWithAReason) {
    const std::vector<uint8_t> good = encode_lba_map(small_map());
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({"truncated header", std::vector<uint8_t>(good.begin(), good.begin() + 23), "less than"});
    cases.push_back({"truncated record", std::vector<uint8_t>(good.begin(), good.end() - 1), "claims 4 records"});
    std::vector<uint8_t> big_count = good;
    big_count[23] = 0x10;
    cases.push_back({"count larger than size", big_count, "claims"});
    std::vector<uint8_t> trailing = good;
    trailing.push_back(0);
    cases.push_back({"bytes after the records", trailing, "after its 4 records"});
    std::vector<uint8_t> zero_size = good;
    zero_size[17] = 0;
    cases.push_back({"request size 0", zero_size, "request size is 0"});
    std::vector<uint8_t> outside = good;
    outside[24 + 2] = 0x40;  // 0x403000: past the region
    cases.push_back({"write outside the region", outside, "outside the region"});
    std::vector<uint8_t> below = good;
    below[24 + 9 + 9 + 1] = 0x00;  // the trim at 0: before the region start 0x1000
    cases.push_back({"trim before the region", below, "outside the region"});
    std::vector<uint8_t> unaligned = good;
    unaligned[24] = 0x01;  // 0x3001
    cases.push_back({"write off a request boundary", unaligned, "request boundary"});
    std::vector<uint8_t> unknown = good;
    unknown[24 + 8] = 7;
    cases.push_back({"unknown action", unknown, "unknown action 7"});
    std::vector<uint8_t> tiny = good;
    tiny[8] = 0x00;
    tiny[9] = 0x08;
    tiny[10] = 0x00;  // region of 0x800 bytes: no room for one request
    cases.push_back({"region smaller than a request", tiny, "holds no request"});
    std::vector<uint8_t> huge = good;
    huge[12] = 0x01;  // a region of 0x10100200000 bytes:
    huge[13] = 0x01;  // 269,484,544 requests of 4 KiB
    cases.push_back({"region of too many requests", huge, "more than 67108864"});
    for (const Case& c : cases) {
        LbaMap out;
        std::string why;
        EXPECT_FALSE(decode_lba_map(c.image, out, why)) << c.what;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
    }
    // A flush's offset means nothing.
    std::vector<uint8_t> flush_anywhere = good;
    flush_anywhere[24 + 9 + 3] = 0x7F;
    LbaMap out;
    std::string why;
    EXPECT_TRUE(decode_lba_map(flush_anywhere, out, why)) << why;
}

TEST(LbaMapDraw, ActionTableHoldsExactCounts) {
    for (uint32_t seed : {1u, 77u, 0xDEADBEEFu}) {
        const std::vector<uint8_t> t = build_action_table(3000, 1500, 2000, seed);
        ASSERT_EQ(t.size(), 10000u);
        int counts[4] = {};
        for (uint8_t a : t) ++counts[a];
        EXPECT_EQ(counts[0], 3500);
        EXPECT_EQ(counts[1], 3000);
        EXPECT_EQ(counts[2], 1500);
        EXPECT_EQ(counts[3], 2000);
    }
    EXPECT_NE(build_action_table(100, 0, 0, 1), build_action_table(100, 0, 0, 2));
}

struct Drawn {
    std::vector<MapRecord> records;
    std::vector<size_t> blocks;
    int seeds = 0;
};

Drawn draw(const MapDraw& d) {
    Drawn out;
    uint32_t next_seed = 12345;
    const bool ok = draw_map_records(
        d, [&] { ++out.seeds; return next_seed += 0x9E3779B9u; },
        [&](std::span<const MapRecord> block) {
            out.blocks.push_back(block.size());
            out.records.insert(out.records.end(), block.begin(), block.end());
            return true;
        });
    EXPECT_TRUE(ok);
    return out;
}

TEST(LbaMapDraw, OneCycleSequentialVisitsEveryUnitOnceInOrder) {
    MapDraw d;
    d.region_start = 0x100000;
    d.region_length = 4u << 20;
    d.request_size = 4096;
    d.write_requests = 1024;  // one range
    d.rand_ratio = 0;
    const Drawn got = draw(d);
    ASSERT_EQ(got.records.size(), 1024u);
    for (size_t i = 0; i < got.records.size(); ++i) {
        EXPECT_EQ(got.records[i].action, MapAction::Write);
        EXPECT_EQ(got.records[i].offset, 0x100000 + i * 4096) << i;
    }
}

TEST(LbaMapDraw, BlocksOf16384RecordsEachWithAFreshSeed) {
    MapDraw d;
    d.region_length = 64u << 20;
    d.request_size = 4096;
    d.write_requests = 20000;
    d.rand_ratio = 100;
    d.trim_ratio = 1000;
    d.fua_ratio = 500;
    d.flush_ratio = 1000;
    const Drawn got = draw(d);
    uint64_t writes = 0, trims = 0, flushes = 0;
    for (const MapRecord& r : got.records) {
        if (is_write(r.action)) ++writes;
        if (r.action == MapAction::Trim) ++trims;
        if (r.action == MapAction::Flush) {
            ++flushes;
            EXPECT_EQ(r.offset, 0u);
        } else {
            EXPECT_LT(r.offset, 64u << 20);
            EXPECT_EQ(r.offset % 4096, 0u);
        }
    }
    EXPECT_EQ(writes, 20000u);
    EXPECT_TRUE(is_write(got.records.back().action));
    ASSERT_GE(got.blocks.size(), 2u);
    for (size_t i = 0; i + 1 < got.blocks.size(); ++i) EXPECT_EQ(got.blocks[i], kRecordsPerBlock);
    EXPECT_EQ(got.seeds, 2 + static_cast<int>(got.blocks.size()));  // two tables, then one per block
    // The ratios hold over the table: 1000 trims and 1000 flushes per 10,000 records.
    // Exactly 1000 trims in the first 10,000 records (the table read once).
    EXPECT_EQ(std::count_if(got.records.begin(), got.records.begin() + 10000,
                            [](const MapRecord& r) { return r.action == MapAction::Trim; }),
              1000);
    EXPECT_NEAR(static_cast<double>(trims) / got.records.size(), 0.1, 0.01);
    EXPECT_NEAR(static_cast<double>(flushes) / got.records.size(), 0.1, 0.01);
}

TEST(LbaMapDraw, SequentialWritesWrapToTheFirstUnit) {
    MapDraw d;
    d.region_length = 4 * 4096;
    d.request_size = 4096;
    d.write_requests = 6;
    d.rand_ratio = 0;
    const Drawn got = draw(d);
    std::vector<uint64_t> offsets;
    for (const MapRecord& r : got.records) offsets.push_back(r.offset / 4096);
    EXPECT_EQ(offsets, (std::vector<uint64_t>{0, 1, 2, 3, 0, 1}));
}

}  // namespace
