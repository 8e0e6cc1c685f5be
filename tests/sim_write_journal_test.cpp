// The volatile write cache of a simulated medium: a power loss undoes the
// writes no flush or FUA made durable, and a power-loss rule takes the
// medium down by itself after some writes or at a time, leaving the file
// with exactly the durable data for the next program.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/sim_fault_test_helpers.h"

namespace tb::sim::test {
namespace {

const std::vector<uint8_t> kZeros(512, 0);

std::vector<uint8_t> zeros(size_t sectors) { return std::vector<uint8_t>(sectors * 512, 0); }

TEST(SimWriteJournal, APowerLossKeepsFlushedAndFuaWritesOnly) {
    ScratchMedium m;
    BackingStore& s = m.store();
    s.set_write_cache(true);
    auto a = ScratchMedium::pattern(1), b = ScratchMedium::pattern(2), c = ScratchMedium::pattern(3);
    ASSERT_TRUE(m.write(0, a));
    ASSERT_TRUE(s.flush());                // a is durable
    ASSERT_TRUE(m.write(0, b));            // lost: a comes back
    ASSERT_TRUE(m.write(8, c, true));      // FUA: kept
    ASSERT_TRUE(m.write(16, ScratchMedium::pattern(4, 8)));  // lost around...
    ASSERT_TRUE(m.write(18, c, true));     // ...a FUA write inside it, which stays
    ASSERT_TRUE(m.write(30, a, true));
    ASSERT_TRUE(m.write(30, b));           // lost over a durable write
    EXPECT_EQ(s.dirty_bytes(), 512u * 10);
    EXPECT_GT(s.power_loss(), 0u);
    EXPECT_EQ(m.read(0), a);
    EXPECT_EQ(m.read(8), c);
    EXPECT_EQ(m.read(16, 2), zeros(2));
    EXPECT_EQ(m.read(18), c);
    EXPECT_EQ(m.read(19, 5), zeros(5));
    EXPECT_EQ(m.read(30), a);
    EXPECT_EQ(s.dirty_bytes(), 0u);
}

TEST(SimWriteJournal, RewritesOfOneSectorAreUndoneToTheDurableContent) {
    ScratchMedium m;
    m.store().set_write_cache(true);
    ASSERT_TRUE(m.write(5, ScratchMedium::pattern(1)));
    ASSERT_TRUE(m.store().flush());
    for (uint8_t i = 2; i < 6; ++i) ASSERT_TRUE(m.write(4, ScratchMedium::pattern(i, 3)));
    m.store().power_loss();
    EXPECT_EQ(m.read(4), kZeros);
    EXPECT_EQ(m.read(5), ScratchMedium::pattern(1));
    EXPECT_EQ(m.read(6), kZeros);
}

TEST(SimWriteJournal, WithoutACacheEveryWriteIsDurable) {
    ScratchMedium m;
    ASSERT_TRUE(m.write(0, ScratchMedium::pattern(1)));
    EXPECT_EQ(m.store().power_loss(), 0u);
    EXPECT_EQ(m.read(0), ScratchMedium::pattern(1));
}

// After a random power loss every sector written once holds its new or its
// old data; with the same seed the same ones survive.
std::vector<bool> random_loss(uint64_t seed) {
    ScratchMedium m;
    m.store().set_write_cache(true);
    m.store().set_fault_seed(seed);
    PowerLossRule rule;
    rule.after_writes = 1000;  // never reached: only its way of losing counts here
    rule.random_subset = true;
    m.store().set_power_loss_rule(rule);
    for (uint64_t lba = 0; lba < 64; ++lba) EXPECT_TRUE(m.write(lba, ScratchMedium::pattern(7)));
    m.store().power_loss();
    std::vector<bool> landed;
    for (uint64_t lba = 0; lba < 64; ++lba) {
        auto back = m.read(lba);
        EXPECT_TRUE(back == ScratchMedium::pattern(7) || back == kZeros) << lba;
        landed.push_back(back == ScratchMedium::pattern(7));
    }
    return landed;
}

TEST(SimWriteJournal, ARandomPowerLossLandsSomeWritesWholeAndRepeatsWithItsSeed) {
    auto landed = random_loss(9);
    auto kept = std::count(landed.begin(), landed.end(), true);
    EXPECT_GT(kept, 10);
    EXPECT_LT(kept, 54);
    EXPECT_EQ(random_loss(9), landed);
    EXPECT_NE(random_loss(10), landed);
}

TEST(SimWriteJournal, APowerLossAfterNWritesTakesTheMediumDownWithOnlyDurableData) {
    ScratchMedium m;
    m.store().set_write_cache(true);
    PowerLossRule rule;
    rule.after_writes = 5;
    m.store().set_power_loss_rule(rule);
    ASSERT_TRUE(m.write(1, ScratchMedium::pattern(1)));
    ASSERT_TRUE(m.write(2, ScratchMedium::pattern(2)));
    ASSERT_TRUE(m.store().flush());
    ASSERT_TRUE(m.write(3, ScratchMedium::pattern(3), true));
    ASSERT_TRUE(m.write(4, ScratchMedium::pattern(4)));
    EXPECT_FALSE(m.store().power_lost());
    ASSERT_TRUE(m.write(5, ScratchMedium::pattern(5)));  // acknowledged, then the power goes
    EXPECT_TRUE(m.store().power_lost());
    EXPECT_FALSE(m.write(6, ScratchMedium::pattern(6)));
    EXPECT_TRUE(m.read(1).empty());
    EXPECT_FALSE(m.store().flush());
    // The next program finds the durable writes and nothing else.
    m.reopen();
    EXPECT_EQ(m.read(1), ScratchMedium::pattern(1));
    EXPECT_EQ(m.read(2), ScratchMedium::pattern(2));
    EXPECT_EQ(m.read(3), ScratchMedium::pattern(3));
    EXPECT_EQ(m.read(4), kZeros);
    EXPECT_EQ(m.read(5), kZeros);
    EXPECT_EQ(m.read(6), kZeros);
}

TEST(SimWriteJournal, APowerLossAtATimeHappensAtTheNextCommandOrWhenTheProgramEnds) {
    ScratchMedium m;
    PowerLossRule rule;
    rule.at_ms = 30;
    m.store().set_write_cache(true);
    m.store().set_power_loss_rule(rule);
    ASSERT_TRUE(m.write(1, ScratchMedium::pattern(1)));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_FALSE(m.write(2, ScratchMedium::pattern(2)));
    m.reopen();
    EXPECT_EQ(m.read(1), kZeros);

    // Nothing asked the medium after the time: letting it go applies the loss.
    m.store().set_write_cache(true);
    m.store().set_power_loss_rule(rule);
    ASSERT_TRUE(m.write(1, ScratchMedium::pattern(1)));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    m.reopen();
    EXPECT_EQ(m.read(1), kZeros);
}

}  // namespace
}  // namespace tb::sim::test
