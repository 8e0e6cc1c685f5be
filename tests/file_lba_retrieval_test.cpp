// The Windows requests behind a file's map, byte for byte: the retrieval
// pointers request and reply, and the volume's logical-to-physical offset.
#include <gtest/gtest.h>

#include <vector>

#include "files/file_extents_retrieval.h"

namespace {

namespace winfs = tb::winfs;

void put(std::vector<uint8_t>& b, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(FileLbaRetrieval, TheRequestsAreTheStartingClusterAndTheLogicalOffset) {
    EXPECT_EQ(winfs::retrieval_pointers_request(0x0102030405060708ull),
              (std::vector<uint8_t>{0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(winfs::logical_to_physical_request(0), std::vector<uint8_t>(8, 0));
    EXPECT_EQ(winfs::kFsctlGetRetrievalPointers, 0x00090073u);
    EXPECT_EQ(winfs::kIoctlVolumeLogicalToPhysical, 0x00560020u);
}

TEST(FileLbaRetrieval, TheReplyGivesRunsPlacedOnTheDisk) {
    // Count 3 from cluster 0: [0,4) at 0x100, [4,6) not on the disk, [6,9) at 0x50.
    std::vector<uint8_t> reply(16 + 3 * 16, 0);
    put(reply, 0, 3, 4);
    put(reply, 8, 0, 8);
    put(reply, 16, 4, 8);
    put(reply, 24, 0x100, 8);
    put(reply, 32, 6, 8);
    put(reply, 40, ~0ull, 8);
    put(reply, 48, 9, 8);
    put(reply, 56, 0x50, 8);
    std::vector<winfs::RetrievalRun> runs;
    ASSERT_TRUE(winfs::read_retrieval_pointers(reply, runs));
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].lcn, -1);
    EXPECT_EQ(runs[2].vcn, 6u);

    tb::FileExtents e;
    winfs::append_retrieval_runs(runs, 4096, 1 << 20, e);
    ASSERT_EQ(e.extents.size(), 2u);
    EXPECT_EQ(e.extents[0].file_offset, 0u);
    EXPECT_EQ(e.extents[0].disk_offset, (1u << 20) + 0x100u * 4096);
    EXPECT_EQ(e.extents[0].length, 4u * 4096);
    EXPECT_EQ(e.extents[1].file_offset, 6u * 4096);
    EXPECT_EQ(e.extents[1].disk_offset, (1u << 20) + 0x50u * 4096);
    EXPECT_EQ(e.extents[1].length, 3u * 4096);
}

TEST(FileLbaRetrieval, ARepliesClaimingMoreRunsThanItHoldsIsRefused) {
    std::vector<uint8_t> reply(16 + 16, 0);
    put(reply, 0, 2, 4);
    std::vector<winfs::RetrievalRun> runs;
    EXPECT_FALSE(winfs::read_retrieval_pointers(reply, runs));
    EXPECT_FALSE(winfs::read_retrieval_pointers(std::vector<uint8_t>(8, 0), runs));
    // A run ending before it starts.
    std::vector<uint8_t> backwards(32, 0);
    put(backwards, 0, 1, 4);
    put(backwards, 8, 10, 8);
    put(backwards, 16, 5, 8);
    EXPECT_FALSE(winfs::read_retrieval_pointers(backwards, runs));
}

TEST(FileLbaRetrieval, ThePhysicalOffsetIsTheFirstEntrysOffset) {
    std::vector<uint8_t> reply(24, 0);
    put(reply, 0, 1, 4);
    put(reply, 8, 2, 4);  // disk number
    put(reply, 16, 0x100000, 8);
    EXPECT_EQ(winfs::read_physical_offset(reply), 0x100000u);
    put(reply, 0, 0, 4);
    EXPECT_FALSE(winfs::read_physical_offset(reply));
    EXPECT_FALSE(winfs::read_physical_offset(std::vector<uint8_t>(16, 0)));
}

}  // namespace
