// Faults of a simulated medium: each kind fires exactly as many times as it
// was given, only on commands that touch its range, and a seed makes every
// random choice repeat.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "tests/sim_fault_test_helpers.h"

namespace tb::sim::test {
namespace {

constexpr uint64_t kFirst = 100, kLast = 199, kSpan = 300;  // the range, and the LBAs each test writes

bool in_range(uint64_t lba) { return lba >= kFirst && lba <= kLast; }

size_t differing_bytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    size_t n = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) n += a[i] != b[i];
    return n;
}

TEST(SimMediumFaults, CorruptWritesChangeOneByteOfEverySectorOnlyInTheirRange) {
    ScratchMedium m;
    m.store().add_fault(lba_fault(FaultKind::CorruptWrite, 3, kFirst, kLast));
    std::set<uint64_t> corrupted;
    for (uint64_t lba = 0; lba < kSpan; ++lba) {
        auto data = ScratchMedium::pattern(static_cast<uint8_t>(lba), 2);
        ASSERT_TRUE(m.write(lba * 2, data));
        auto back = m.read(lba * 2, 2);
        if (back == data) continue;
        EXPECT_EQ(differing_bytes(back, data), 2u) << lba;  // one in each sector
        corrupted.insert(lba * 2);
    }
    EXPECT_EQ(corrupted, (std::set<uint64_t>{100, 102, 104}));  // the first three writes touching the range
    EXPECT_EQ(m.store().stats().corrupted_writes, 3u);
}

TEST(SimMediumFaults, DroppedWritesAreReportedDoneAndLeaveTheOldData) {
    ScratchMedium m;
    m.store().add_fault(lba_fault(FaultKind::DropWrite, 2, kFirst, kLast));
    for (uint64_t lba = 0; lba < kSpan; ++lba) ASSERT_TRUE(m.write(lba, ScratchMedium::pattern(1)));
    for (uint64_t lba = 0; lba < kSpan; ++lba) {
        bool dropped = lba == kFirst || lba == kFirst + 1;
        EXPECT_EQ(m.read(lba), dropped ? std::vector<uint8_t>(512, 0) : ScratchMedium::pattern(1)) << lba;
    }
    EXPECT_EQ(m.store().stats().dropped_writes, 2u);
}

TEST(SimMediumFaults, MisdirectedWritesLandOnAnotherLbaOfTheRange) {
    ScratchMedium m;
    m.store().add_fault(lba_fault(FaultKind::MisdirectWrite, 2, kFirst, kLast));
    std::vector<uint64_t> misdirected;
    for (uint64_t lba = 0; lba < kSpan; ++lba) {
        auto data = ScratchMedium::pattern(static_cast<uint8_t>(lba + 1));
        ASSERT_TRUE(m.write(lba, data));
        if (m.read(lba) == data) continue;
        misdirected.push_back(lba);
        uint64_t landed = UINT64_MAX;
        for (uint64_t other = 0; other < kSpan; ++other)
            if (other != lba && m.read(other) == data) landed = other;
        EXPECT_TRUE(in_range(landed)) << lba << " landed on " << landed;
    }
    EXPECT_EQ(misdirected, (std::vector<uint64_t>{kFirst, kFirst + 1}));
    EXPECT_EQ(m.store().stats().misdirected_writes, 2u);
}

TEST(SimMediumFaults, StaleReadsReturnWhatTheSectorHeldBeforeItsLastWrite) {
    ScratchMedium m;
    m.store().add_fault(lba_fault(FaultKind::StaleRead, 2, kFirst, kLast));
    auto older = ScratchMedium::pattern(1), newer = ScratchMedium::pattern(2);
    // Sectors never rewritten have no previous content: the fault waits.
    for (uint64_t lba = 0; lba < kSpan; ++lba) EXPECT_EQ(m.read(lba), std::vector<uint8_t>(512, 0));
    EXPECT_EQ(m.store().stats().stale_reads, 0u);
    for (uint64_t lba = 0; lba < kSpan; ++lba) ASSERT_TRUE(m.write(lba, older));
    for (uint64_t lba = 0; lba < kSpan; ++lba) ASSERT_TRUE(m.write(lba, newer));
    for (uint64_t lba = 0; lba < kSpan; ++lba) {
        bool stale = lba == kFirst || lba == kFirst + 1;
        EXPECT_EQ(m.read(lba), stale ? older : newer) << lba;
    }
    EXPECT_EQ(m.store().stats().stale_reads, 2u);
}

TEST(SimMediumFaults, ReadErrorsFailExactlyTheReadsInTheirRange) {
    ScratchMedium m;
    m.store().add_fault(lba_fault(FaultKind::ReadError, 2, kFirst, kLast));
    std::vector<uint64_t> failed;
    for (uint64_t lba = 0; lba < kSpan; ++lba)
        if (m.read(lba).empty()) failed.push_back(lba);
    EXPECT_EQ(failed, (std::vector<uint64_t>{kFirst, kFirst + 1}));
    // A read that only overlaps the range by its last sector is in it.
    m.store().add_fault(lba_fault(FaultKind::ReadError, 1, kFirst, kLast));
    EXPECT_TRUE(m.read(kFirst - 4, 5).empty());
    EXPECT_EQ(m.store().stats().read_errors, 3u);
}

// Which of 1000 sectors a 30% corruption hits, and the medium afterwards.
std::pair<std::set<uint64_t>, std::vector<uint8_t>> corrupt_by_chance(uint64_t seed) {
    ScratchMedium m;
    m.store().set_fault_seed(seed);
    MediumFault f = lba_fault(FaultKind::CorruptWrite, 0, 0, 999);
    f.chance = 0.3;
    m.store().add_fault(f);
    std::set<uint64_t> hit;
    for (uint64_t lba = 0; lba < 1000; ++lba) {
        auto data = ScratchMedium::pattern(static_cast<uint8_t>(lba));
        EXPECT_TRUE(m.write(lba, data));
        if (m.read(lba) != data) hit.insert(lba);
    }
    EXPECT_TRUE(m.write(1000, ScratchMedium::pattern(0)));  // outside: never
    EXPECT_EQ(m.read(1000), ScratchMedium::pattern(0));
    return {hit, m.read(0, 1000)};
}

TEST(SimMediumFaults, AChanceWithTheSameSeedHitsTheSameWritesTheSameWay) {
    auto [hit, medium] = corrupt_by_chance(42);
    EXPECT_GT(hit.size(), 200u);
    EXPECT_LT(hit.size(), 400u);
    auto [again, medium_again] = corrupt_by_chance(42);
    EXPECT_EQ(hit, again);
    EXPECT_EQ(medium, medium_again);
    auto [other, medium_other] = corrupt_by_chance(43);
    EXPECT_NE(hit, other);
}

}  // namespace
}  // namespace tb::sim::test
