// The read-back check of the stamped-pattern policy finds the first wrong
// sector whatever byte of it changed (the LBA, the sequence number, the
// write count, the pattern, a part sector at the end), at every sector
// size, whether or not the write buffer is handed in.
#include <gtest/gtest.h>

#include <vector>

#include "workload/pattern.h"
#include "workload/stamp_policy.h"

namespace tb {
namespace {

PlannedIo stamped_write(uint64_t offset, uint32_t length, uint64_t sequence, uint64_t write_count) {
    PlannedIo io;
    io.action = IoAction::Write;
    io.offset = offset;
    io.length = length;
    io.sequence = sequence;
    io.write_count = write_count;
    return io;
}

TEST(StampedPatternCheck, NamesTheFirstWrongSectorForAnyChangedByte) {
    for (uint32_t sector : {512u, 4096u, 8192u}) {
        for (uint64_t sequence : {0ull, 77ull}) {
            StampedPatternPolicy policy(0x5A0F33C1, sector, 1, 1);
            PlannedIo io = stamped_write(uint64_t{sector} * 1000, 4 * sector, sequence, 5);
            std::vector<uint8_t> written(io.length);
            policy.prepare_write(io, written);
            ASSERT_FALSE(policy.check(io, written, written)) << sector;
            ASSERT_FALSE(policy.check(io, {}, written)) << sector;
            // LBA, sequence, write count, pattern body, last byte of a sector.
            for (uint32_t at : {0u, 7u, 8u, 15u, 16u, 23u, 24u, 300u, sector - 1}) {
                for (uint32_t s : {0u, 2u, 3u}) {
                    std::vector<uint8_t> read = written;
                    read[size_t{s} * sector + at] ^= 0x40;
                    EXPECT_EQ(policy.check(io, written, read), std::optional<uint32_t>(s))
                        << "sector size " << sector << ", sequence " << sequence << ", byte " << at;
                }
            }
        }
    }
}

TEST(StampedPatternCheck, APartSectorAtTheEndCarriesThePatternOnly) {
    StampedPatternPolicy policy(0x01020304, 512, 1, 1);
    PlannedIo io = stamped_write(0, 2 * 512 + 100, 9, 0);
    std::vector<uint8_t> written(io.length);
    policy.prepare_write(io, written);
    EXPECT_EQ(written[1024], 0x01) << "no stamp in a part sector";
    EXPECT_FALSE(policy.check(io, {}, written));
    std::vector<uint8_t> read = written;
    read[1024 + 99] ^= 1;
    EXPECT_EQ(policy.check(io, {}, read), std::optional<uint32_t>(2));
    read = written;
    read[1023] ^= 1;
    EXPECT_EQ(policy.check(io, {}, read), std::optional<uint32_t>(1));
}

}  // namespace
}  // namespace tb
