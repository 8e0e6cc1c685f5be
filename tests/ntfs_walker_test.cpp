// The NTFS walker on a volume built byte by byte (tests/ntfs_test_volume.h):
// boot sector, update sequences, run lists with negative deltas, attributes
// with names, index records, the owner of a sector, paths and lookups, and
// every kind of damage ending the walk with its reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/ntfs_file_data.h"
#include "files/ntfs_fixup.h"
#include "files/ntfs_geometry.h"
#include "files/ntfs_lookup.h"
#include "files/ntfs_owner.h"
#include "files/ntfs_path.h"
#include "files/ntfs_run_list.h"
#include "files/ntfs_volume.h"
#include "tests/ntfs_test_volume.h"

namespace {

namespace nv = tb::test::ntfs_volume;
namespace ntfs = tb::ntfs;

class NtfsWalker : public ::testing::Test {
protected:
    ntfs::MemorySectorReader reader_{nv::image()};
    ntfs::Volume volume_{reader_};

    void open() {
        std::string error;
        ASSERT_TRUE(volume_.open(error)) << error;
    }
    std::vector<uint8_t>& bytes() { return reader_.bytes(); }
    // The error of opening the volume as it now is.
    std::string open_error() {
        ntfs::Volume v(reader_);
        std::string error;
        EXPECT_FALSE(v.open(error));
        return error;
    }
    ntfs::Owner owner_of_cluster(uint64_t cluster, std::string* error = nullptr) {
        ntfs::Owner o;
        std::string e;
        EXPECT_TRUE(ntfs::find_owner(volume_, cluster * 8 + 3, o, e)) << e;
        if (error) *error = e;
        return o;
    }
};

TEST_F(NtfsWalker, TheBootSectorGivesTheGeometryAndTheMftsTwoRuns) {
    open();
    const ntfs::Geometry& g = volume_.geometry();
    EXPECT_EQ(g.sector_size, 512u);
    EXPECT_EQ(g.cluster_size, 4096u);
    EXPECT_EQ(g.record_size, 1024u);
    EXPECT_EQ(g.mft_cluster, nv::kMftCluster);
    ASSERT_EQ(volume_.mft_runs().size(), 2u);
    EXPECT_EQ(volume_.mft_runs()[1].lcn, static_cast<int64_t>(nv::kMftSecondRun));
    EXPECT_EQ(volume_.record_count(), 16u);
    // Record n of the second run: its cluster times 8 plus twice its index inside the run.
    EXPECT_EQ(volume_.record_sector(3), nv::kMftCluster * 8 + 3 * 2);
    EXPECT_EQ(volume_.record_sector(9), nv::kMftSecondRun * 8 + 1 * 2);
    EXPECT_FALSE(volume_.record_sector(16));
}

TEST_F(NtfsWalker, AttributesComeWithTheirNamesValuesAndRuns) {
    open();
    ntfs::FileRecord r;
    std::string error;
    ASSERT_TRUE(volume_.read_record(11, r, error)) << error;
    EXPECT_TRUE(r.directory());
    const ntfs::Attribute* alloc = r.find(ntfs::kAttrIndexAllocation, "$I30");
    ASSERT_NE(alloc, nullptr);
    EXPECT_FALSE(alloc->resident);
    ASSERT_EQ(alloc->runs.size(), 1u);
    EXPECT_EQ(alloc->runs[0].lcn, 200);
    EXPECT_EQ(r.find(ntfs::kAttrIndexAllocation), nullptr);  // only by its name
    EXPECT_EQ(ntfs::record_name(r), "docs");
}

TEST_F(NtfsWalker, ARunListGoingBackwardsMapsToTheLowerCluster) {
    open();
    ntfs::FileRecord r;
    std::string error;
    ASSERT_TRUE(volume_.read_record(10, r, error)) << error;
    const ntfs::Attribute* data = r.find(ntfs::kAttrData);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->runs.size(), 2u);
    EXPECT_EQ(data->runs[0].lcn, 100);
    EXPECT_EQ(data->runs[1].lcn, 50);
    EXPECT_EQ(data->runs[1].vcn, 3u);
    EXPECT_EQ(ntfs::cluster_of(data->runs, 4), 51);
    EXPECT_EQ(data->data_size, 5u * 4096 - 100);
    // The long name rather than the DOS one.
    EXPECT_EQ(ntfs::record_name(r), "hello.txt");
}

TEST_F(NtfsWalker, RunListsDecodeSparseRunsAndRefuseBadOnes) {
    std::vector<ntfs::Run> runs;
    std::string error;
    // 2 clusters at 0x10, 3 sparse clusters, 1 cluster 4 clusters back.
    const std::vector<uint8_t> list = {0x11, 0x02, 0x10, 0x01, 0x03, 0x11, 0x01, 0xFC, 0x00};
    ASSERT_TRUE(ntfs::decode_run_list(list, 0, 1000, runs, error)) << error;
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_TRUE(runs[1].sparse());
    EXPECT_EQ(runs[2].lcn, 0x0C);
    EXPECT_EQ(runs[2].vcn, 5u);
    EXPECT_EQ(ntfs::cluster_of(runs, 3), -1);

    EXPECT_FALSE(ntfs::decode_run_list(std::vector<uint8_t>{0x11, 0x02, 0x10}, 0, 1000, runs, error));
    EXPECT_NE(error.find("no end"), std::string::npos) << error;
    EXPECT_FALSE(ntfs::decode_run_list(std::vector<uint8_t>{0x21, 0x02, 0x10, 0x00}, 0, 1000, runs, error));  // a field past the list
    EXPECT_FALSE(ntfs::decode_run_list(std::vector<uint8_t>{0x10, 0x10, 0x00}, 0, 1000, runs, error));  // no length
    EXPECT_FALSE(ntfs::decode_run_list(std::vector<uint8_t>{0x11, 0x02, 0xF0, 0x00}, 0, 1000, runs, error));
    EXPECT_NE(error.find("before the volume"), std::string::npos) << error;
    EXPECT_FALSE(ntfs::decode_run_list(std::vector<uint8_t>{0x21, 0x02, 0xE8, 0x03, 0x00}, 0, 1000, runs, error));
    EXPECT_NE(error.find("passes the end of the volume"), std::string::npos) << error;
}

TEST_F(NtfsWalker, TheUpdateSequenceIsCheckedAndUndone) {
    std::vector<uint8_t> r = nv::record(12);
    std::vector<uint8_t> plain = r;
    std::string error;
    ASSERT_TRUE(ntfs::apply_update_sequence(r, 512, error)) << error;
    EXPECT_EQ(r[510], 0);  // the word the sequence number stood in for
    EXPECT_EQ(plain[510], 7);
    plain[1022] ^= 1;
    EXPECT_FALSE(ntfs::apply_update_sequence(plain, 512, error));
    EXPECT_EQ(error, "Sector 1 CheckWORD  Error");
}

TEST_F(NtfsWalker, TheOwnerOfASectorIsTheRecordWhoseRunsCoverIt) {
    open();
    ntfs::Owner o = owner_of_cluster(101);
    EXPECT_EQ(o.area, ntfs::OwnerArea::RunList);
    EXPECT_EQ(o.record, 10u);
    EXPECT_EQ(o.attribute, ntfs::kAttrData);
    EXPECT_EQ(owner_of_cluster(51).record, 10u);  // the run behind the first
    EXPECT_EQ(owner_of_cluster(303).record, 12u);
    o = owner_of_cluster(200);
    EXPECT_EQ(o.record, 11u);
    EXPECT_EQ(o.attribute, ntfs::kAttrIndexAllocation);
    EXPECT_EQ(o.stream, "$I30");
    EXPECT_EQ(owner_of_cluster(999).area, ntfs::OwnerArea::None);
}

TEST_F(NtfsWalker, ASectorInsideTheMftIsTheRecordLyingThere) {
    open();
    ntfs::Owner o;
    std::string error;
    // Cluster 21 holds records 12 to 15; its sector 5 is record 14's second half.
    ASSERT_TRUE(ntfs::find_owner(volume_, nv::kMftSecondRun * 8 + 8 + 5, o, error)) << error;
    EXPECT_EQ(o.area, ntfs::OwnerArea::MftNode);
    EXPECT_EQ(o.record, 14u);
}

TEST_F(NtfsWalker, PathsFollowTheParentsUpToTheRoot) {
    open();
    std::vector<ntfs::PathStep> steps;
    std::string path, error;
    ASSERT_TRUE(ntfs::build_path(volume_, 12, "D:", steps, path, error)) << error;
    EXPECT_EQ(path, "D:\\docs\\inner.bin");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].record, 12u);
    EXPECT_EQ(steps[0].parent, 11u);
    EXPECT_EQ(steps[1].parent, 5u);
    ASSERT_TRUE(ntfs::build_path(volume_, 5, "D:", steps, path, error)) << error;
    EXPECT_EQ(path, "D:\\");
}

TEST_F(NtfsWalker, ParentsInALoopEndTheWalkWithAReason) {
    open();
    std::vector<ntfs::PathStep> steps;
    std::string path, error;
    EXPECT_FALSE(ntfs::build_path(volume_, 14, "", steps, path, error));
    EXPECT_NE(error.find("File System Loop"), std::string::npos) << error;
}

TEST_F(NtfsWalker, LookupsGoThroughTheIndexRootAndTheIndexRecords) {
    open();
    uint64_t record = 0;
    std::string error;
    std::vector<std::string> seen;
    auto step = [&](const std::string& part, uint64_t found) { seen.push_back(part + "=" + std::to_string(found)); };
    ASSERT_EQ(ntfs::find_record(volume_, ntfs::path_parts("D:\\docs\\inner.bin"), record, error, step),
              ntfs::LookupResult::Found)
        << error;
    EXPECT_EQ(record, 12u);
    EXPECT_EQ(seen, (std::vector<std::string>{"docs=11", "inner.bin=12"}));
    ASSERT_EQ(ntfs::find_record(volume_, ntfs::path_parts("DOCS/Small.TXT"), record, error), ntfs::LookupResult::Found);
    EXPECT_EQ(record, 13u);
    EXPECT_EQ(ntfs::find_record(volume_, ntfs::path_parts("docs/none"), record, error), ntfs::LookupResult::NotFound);
    EXPECT_EQ(ntfs::find_record(volume_, ntfs::path_parts("hello.txt/x"), record, error), ntfs::LookupResult::NotFound);
    EXPECT_EQ(ntfs::path_inside_volume("/mnt/v/docs/a", "/mnt/v"), "/docs/a");
    EXPECT_EQ(ntfs::path_inside_volume("/mnt/vx/a", "/mnt/v"), "/mnt/vx/a");
}

TEST_F(NtfsWalker, AFilesDataIsResidentOrInRuns) {
    open();
    ntfs::FileRecord r;
    ntfs::FileData d;
    std::string error;
    ASSERT_TRUE(volume_.read_record(13, r, error)) << error;
    ASSERT_TRUE(ntfs::file_data(volume_, r, d, error)) << error;
    EXPECT_TRUE(d.resident);
    EXPECT_EQ(d.size, 8u);
    ASSERT_TRUE(volume_.read_record(10, r, error)) << error;
    ASSERT_TRUE(ntfs::file_data(volume_, r, d, error)) << error;
    EXPECT_FALSE(d.resident);
    EXPECT_EQ(d.runs.size(), 2u);
}

// ---------------------------------------------------------------- damage

TEST_F(NtfsWalker, ABootSectorWithoutItsSignatureIsRefused) {
    bytes()[3] = 'X';
    EXPECT_EQ(open_error(), "NTFS Signature Error");
}

TEST_F(NtfsWalker, ABootSectorWithImpossibleSizesIsRefused) {
    std::vector<uint8_t> good = bytes();
    bytes()[13] = 3;  // 3 sectors per cluster
    EXPECT_NE(open_error().find("sectors per cluster"), std::string::npos);
    bytes()[13] = 0xB4;  // 2^76 sectors per cluster, in the form of large clusters
    EXPECT_NE(open_error().find("sectors per cluster"), std::string::npos);
    bytes() = good;
    bytes()[11] = 0x00;
    bytes()[12] = 0x01;  // 256-byte sectors
    EXPECT_NE(open_error().find("bytes per sector"), std::string::npos);
    bytes() = good;
    nv::put64(bytes(), 48, 5000);  // the MFT past the volume
    EXPECT_NE(open_error().find("outside the volume"), std::string::npos);
    bytes() = good;
    nv::put64(bytes(), 40, 1ull << 40);  // a volume larger than its partition
    EXPECT_NE(open_error().find("more than the volume"), std::string::npos);
}

TEST_F(NtfsWalker, AnMftRecordWithABadUpdateSequenceEndsTheWalk) {
    bytes()[nv::record_offset(0) + 1022] ^= 0xFF;
    EXPECT_EQ(open_error(), "Sector 1 CheckWORD  Error");
}

TEST_F(NtfsWalker, AnMftRecordWithoutItsSignatureEndsTheWalk) {
    bytes()[nv::record_offset(0)] = 'X';
    EXPECT_EQ(open_error(), "MFT Signature Error");
}

TEST_F(NtfsWalker, AnAttributeLengthPastTheRecordEndsTheWalk) {
    open();
    // The first attribute of record 12 claims 4000 bytes (before the update sequence is applied).
    nv::put32(bytes(), nv::record_offset(12) + 0x38 + 4, 4000);
    ntfs::FileRecord r;
    std::string error;
    EXPECT_FALSE(volume_.read_record(12, r, error));
    EXPECT_NE(error.find("length runs past the record"), std::string::npos) << error;
    // The scan for an owner meets it too and says which record.
    ntfs::Owner o;
    EXPECT_FALSE(ntfs::find_owner(volume_, 999 * 8, o, error));
    EXPECT_NE(error.find("MftId:0x0000000C"), std::string::npos) << error;
}

TEST_F(NtfsWalker, ARunListPointingPastTheVolumeEndsTheWalk) {
    open();
    // Record 12's run (1 byte length, 2 bytes offset: 300 = 0x012C) moved to cluster 0x7F2C.
    const uint64_t runs = nv::record_offset(12) + 0x38 + 0x70 + 64;
    ASSERT_EQ(bytes()[runs], 0x21);
    bytes()[runs + 3] = 0x7F;
    ntfs::FileRecord r;
    std::string error;
    EXPECT_FALSE(volume_.read_record(12, r, error));
    EXPECT_NE(error.find("passes the end of the volume"), std::string::npos) << error;
}

TEST_F(NtfsWalker, ADamagedIndexRecordEndsTheLookup) {
    open();
    bytes()[200 * nv::kCluster + 4095] ^= 0x10;
    uint64_t record = 0;
    std::string error;
    EXPECT_EQ(ntfs::find_record(volume_, ntfs::path_parts("docs/inner.bin"), record, error), ntfs::LookupResult::Failed);
    EXPECT_EQ(error, "Sector 7 CheckWORD  Error");
    bytes()[200 * nv::kCluster] = 'X';
    EXPECT_EQ(ntfs::find_record(volume_, ntfs::path_parts("docs/inner.bin"), record, error), ntfs::LookupResult::Failed);
    EXPECT_EQ(error, "INDX Signature Error");
}

}  // namespace
