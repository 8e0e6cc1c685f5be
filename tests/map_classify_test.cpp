// Replaying a played map and sorting what each unit holds, on in-memory
// units: every case of the classification, the versions in flight at an
// interruption, and the split of wrong sectors into durable and unflushed.
#include <gtest/gtest.h>

#include <vector>

#include "workload/map_classify.h"
#include "workload/map_detail_csv.h"
#include "workload/map_replay.h"
#include "workload/pattern.h"

namespace {

using namespace tb;

constexpr uint32_t kSector = 512;
constexpr uint32_t kUnit = 4096;
constexpr uint32_t kSectors = kUnit / kSector;
constexpr uint32_t kBase = 0x11111111;
constexpr uint32_t kWrite = 0x55AA33CC;

LbaMap map_of(std::vector<MapRecord> records) {
    LbaMap m;
    m.header = MapHeader{0, 4 * kUnit, kUnit, static_cast<uint32_t>(records.size())};
    m.records = std::move(records);
    return m;
}

MapRecord W(uint64_t unit) { return {unit * kUnit, MapAction::Write}; }
MapRecord F(uint64_t unit) { return {unit * kUnit, MapAction::FuaWrite}; }
MapRecord T(uint64_t unit) { return {unit * kUnit, MapAction::Trim}; }
MapRecord Flush() { return {0, MapAction::Flush}; }

CompareSetup setup() { return CompareSetup{kSector, kBase, kWrite}; }

std::vector<uint8_t> base_of(uint64_t unit) {
    std::vector<uint8_t> d(kUnit);
    pattern_fill(d, kBase);
    sector_stamp(d, unit * kUnit, kSector);
    return d;
}

std::vector<uint8_t> written(uint64_t unit, uint64_t sequence, uint64_t count) {
    std::vector<uint8_t> d(kUnit);
    pattern_fill(d, kWrite);
    sector_stamp(d, unit * kUnit, kSector, sequence, count);
    return d;
}

// Records: 0 W u0 (seq 1, count 1), 1 W u1 (seq 2), 2 W u0 (seq 3, count 2), 3 T u2.
LbaMap four_records() { return map_of({W(0), W(1), W(0), T(2)}); }

TEST(MapClassify, ExpectedContentsMatchAsCorrect) {
    LbaMap m = four_records();
    MapReplay r;
    ASSERT_TRUE(r.build(m, nullptr));
    const auto correct = [&](uint64_t unit, const std::vector<uint8_t>& data) {
        UnitClassification c = classify_unit(r, unit, data, setup());
        EXPECT_EQ(c.counts.correct, kSectors) << unit;
        EXPECT_EQ(c.counts.errors(), 0u) << unit;
        EXPECT_EQ(c.first_wrong, -1);
    };
    correct(3, base_of(3));                          // never written, still the base data
    correct(2, std::vector<uint8_t>(kUnit, 0));      // trimmed: zeros
    correct(2, std::vector<uint8_t>(kUnit, 0xFF));   // trimmed: a drive that reads ones
    correct(0, written(0, 3, 2));                    // its last write
    correct(1, written(1, 2, 1));
}

TEST(MapClassify, WholeUnitDifferencesAreSortedByWhatTheyHold) {
    LbaMap m = four_records();
    MapReplay r;
    ASSERT_TRUE(r.build(m, nullptr));
    // The previous write of unit 0: old data, found by its write count.
    UnitClassification c = classify_unit(r, 0, written(0, 1, 1), setup());
    EXPECT_EQ(c.counts.old_data, kSectors);
    EXPECT_EQ(c.first_wrong, 0);
    // Base data where a write should be: old data.
    c = classify_unit(r, 1, base_of(1), setup());
    EXPECT_EQ(c.counts.old_data, kSectors);
    // Zeros where a write should be.
    c = classify_unit(r, 1, std::vector<uint8_t>(kUnit, 0), setup());
    EXPECT_EQ(c.counts.zeros, kSectors);
    // The right data of another unit: its first LBA stamp is wrong.
    c = classify_unit(r, 1, written(3, 2, 1), setup());
    EXPECT_EQ(c.counts.miscompare, kSectors);
    // Garbage with a right first stamp: sector by sector, all miscompare.
    std::vector<uint8_t> garbage(kUnit, 0x5C);
    put_be64(garbage.data(), 1 * kSectors);
    c = classify_unit(r, 1, garbage, setup());
    EXPECT_EQ(c.counts.miscompare, kSectors);
    // Unreadable.
    c = classify_unreadable(r, 1, setup());
    EXPECT_EQ(c.counts.read_fail, kSectors);
    EXPECT_EQ(c.counts.errors(), kSectors);
}

TEST(MapClassify, MixedUnitsAreSortedSectorBySector) {
    LbaMap m = four_records();
    MapReplay r;
    ASSERT_TRUE(r.build(m, nullptr));
    std::vector<uint8_t> data = written(0, 3, 2);
    const std::vector<uint8_t> older = written(0, 1, 1), base = base_of(0);
    std::copy(older.begin() + 2 * kSector, older.begin() + 3 * kSector, data.begin() + 2 * kSector);
    std::fill(data.begin() + 4 * kSector, data.begin() + 5 * kSector, 0);
    std::copy(base.begin() + 6 * kSector, base.begin() + 7 * kSector, data.begin() + 6 * kSector);
    data[7 * kSector + 100] ^= 0xFF;
    UnitClassification c = classify_unit(r, 0, data, setup());
    EXPECT_EQ(c.counts.correct, 4u);
    EXPECT_EQ(c.counts.old_data, 2u);  // the earlier write and the base
    EXPECT_EQ(c.counts.zeros, 1u);
    EXPECT_EQ(c.counts.miscompare, 1u);
    EXPECT_EQ(c.first_wrong, 2);
}

TEST(MapClassify, UnitsInFlightAtTheInterruptionAcceptTheOldOrTheNewVersion) {
    LbaMap m = four_records();
    MapProgress p;
    p.map_records = 4;
    p.floor = 2;  // records 2 (second write of u0) and 3 (trim of u2) were in flight
    p.limit = 4;
    MapReplay r;
    ASSERT_TRUE(r.build(m, &p));
    for (const auto& data : {written(0, 1, 1), written(0, 3, 2)}) {
        UnitClassification c = classify_unit(r, 0, data, setup());
        EXPECT_EQ(c.counts.correct, kSectors);
    }
    for (const auto& data : {base_of(2), std::vector<uint8_t>(kUnit, 0)}) {
        UnitClassification c = classify_unit(r, 2, data, setup());
        EXPECT_EQ(c.counts.correct, kSectors);
    }
    // A torn write: half the new version, half the old.
    std::vector<uint8_t> torn = written(0, 3, 2);
    const std::vector<uint8_t> old = written(0, 1, 1);
    std::copy(old.begin(), old.begin() + 4 * kSector, torn.begin());
    EXPECT_EQ(classify_unit(r, 0, torn, setup()).counts.correct, kSectors);
    // Base data is not a version of unit 0 any more: its first write completed.
    EXPECT_EQ(classify_unit(r, 0, base_of(0), setup()).counts.old_data, kSectors);
    // Records past the limit were never issued: unit 1's write counts as made.
    p.limit = 3;
    p.floor = 1;
    MapReplay r2;
    ASSERT_TRUE(r2.build(m, &p));
    EXPECT_EQ(classify_unit(r2, 1, base_of(1), setup()).counts.correct, kSectors);
    EXPECT_EQ(classify_unit(r2, 2, base_of(2), setup()).counts.correct, kSectors);  // trim never issued
    EXPECT_EQ(classify_unit(r2, 2, std::vector<uint8_t>(kUnit, 0), setup()).counts.zeros, kSectors);
}

TEST(MapClassify, WrongSectorsOfDurableWritesAreCountedApart) {
    // 0 W u0, 1 flush, 2 FUA u1, 3 W u3, 4 W u2 (in flight at the cut).
    LbaMap m = map_of({W(0), Flush(), F(1), W(3), W(2)});
    MapProgress p;
    p.map_records = 5;
    p.floor = 4;
    p.limit = 5;
    p.flushed = 2;
    MapReplay r;
    ASSERT_TRUE(r.build(m, &p));
    SectorCounts total;
    total.add(classify_unit(r, 0, base_of(0), setup()).counts);  // flushed, lost: durable
    total.add(classify_unit(r, 1, base_of(1), setup()).counts);  // FUA, lost: durable
    total.add(classify_unit(r, 3, base_of(3), setup()).counts);  // only cached: unflushed
    total.add(classify_unit(r, 2, base_of(2), setup()).counts);  // in flight: correct
    EXPECT_EQ(total.old_data, 3u * kSectors);
    EXPECT_EQ(total.lost_durable, 2u * kSectors);
    EXPECT_EQ(total.lost_unflushed, 1u * kSectors);
    EXPECT_EQ(total.correct, kSectors);
    // A map played to its end: flushes in the map count as completed.
    MapReplay whole;
    ASSERT_TRUE(whole.build(m, nullptr));
    EXPECT_EQ(classify_unit(whole, 0, base_of(0), setup()).counts.lost_durable, kSectors);
    EXPECT_EQ(classify_unit(whole, 2, base_of(2), setup()).counts.lost_unflushed, kSectors);
}

TEST(MapDetailCsv, HeaderAndBlockInTheirColumns) {
    EXPECT_EQ(detail_csv_header(4096),
              "Access LBA (4KB)        ,Correct   ,Old Data  ,All 0x00  ,Miscompare,Read Fail ,Error LBA               ,"
              "Data        ,BYTE 0-7                ,BYTE 8-15               ,BYTE 16-23              ,"
              "BYTE 24-31              ,\r\n");
    std::vector<uint8_t> expected(512), read1(512, 0);
    for (size_t i = 0; i < 32; ++i) expected[i] = static_cast<uint8_t>(i);
    DetailBlock b;
    b.unit_lba = 0x1234;
    b.counts.correct = 5;
    b.counts.old_data = 2;
    b.counts.zeros = 1;
    b.error_lba = 0x1239;
    b.expected = expected;
    b.read1 = std::span<const uint8_t>(read1);
    const std::string blank_counts = [] {
        std::string s = std::string(24, ' ') + ",";
        for (int i = 0; i < 5; ++i) s += std::string(10, ' ') + ",";
        return s + std::string(24, ' ') + ",";
    }();
    const std::string zeros8 = "00 00 00 00 00 00 00 00 ,";
    const std::string dashes = [] {
        std::string s = std::string(24, '-') + ",";
        for (int i = 0; i < 5; ++i) s += std::string(10, '-') + ",";
        s += std::string(24, '-') + "," + std::string(12, '-') + ",";
        for (int i = 0; i < 4; ++i) s += std::string(24, '-') + ",";
        return s;
    }();
    EXPECT_EQ(detail_csv_block(b),
              "00 00 00 00 00 00 12 34 ,5         ,2         ,1         ,0         ,0         ,"
              "00 00 00 00 00 00 12 39 ,Correct Data,"
              "00 01 02 03 04 05 06 07 ,08 09 0A 0B 0C 0D 0E 0F ,10 11 12 13 14 15 16 17 ,18 19 1A 1B 1C 1D 1E 1F ,\r\n" +
                  blank_counts + "Read 1st    ," + zeros8 + zeros8 + zeros8 + zeros8 + "\r\n" + blank_counts +
                  "Read 2nd    ,Read Fail               ," + std::string(24, ' ') + "," + std::string(24, ' ') + "," +
                  std::string(24, ' ') + ",\r\n" + dashes + "\r\n");
}

}  // namespace
