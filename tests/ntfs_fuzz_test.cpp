// The walker over thousands of damaged copies of the hand-built volume: it
// answers or gives a reason every time (see tests/ntfs_fuzz.h).
#include <gtest/gtest.h>

#include "tests/ntfs_fuzz.h"
#include "tests/ntfs_test_volume.h"

namespace {

namespace nv = tb::test::ntfs_volume;

TEST(NtfsFuzz, DamagedRecordsNeverCrashTheWalker) {
    const std::vector<uint8_t> image = nv::image();
    const std::vector<tb::test::FuzzRegion> regions = {
        {0, 512},                                   // boot sector
        {nv::kMftCluster * nv::kCluster, 2 * nv::kCluster},     // records 0-7
        {nv::kMftSecondRun * nv::kCluster, 2 * nv::kCluster},   // records 8-15
        {200 * nv::kCluster, nv::kCluster},         // the INDX record
    };
    const tb::test::FuzzCounts counts =
        tb::test::fuzz_walker(image, regions, {"hello.txt", "docs\\inner.bin", "docs\\small.txt"}, 19, 3000);
    // Both outcomes occur: damage the walker reads past and damage it refuses.
    EXPECT_GT(counts.opened, 100);
    EXPECT_GT(counts.refused, 100);
}

}  // namespace
