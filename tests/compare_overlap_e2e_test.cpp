// End to end: the real binary runs Compare_RandSizeOverlap on a simulated
// machine of its own: a clean run, a disk that corrupts what it writes, and
// the limits of its keys.
#include <gtest/gtest.h>

#include <string>

#include "tests/compare_e2e_fixture.h"
#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

const std::string& kDisk1 = tb::test::kChangeToDisk1;

class CompareOverlapE2E : public tb::test::CompareE2E {
protected:
    CompareOverlapE2E() : CompareE2E("tamblor-overlap-e2e") {}
};

TEST_F(CompareOverlapE2E, ACleanDiskFinishesWithoutError) {
    auto r = run(kDisk1 + "Compare_RandSizeOverlap( LBA:2048, RangeLenMB:64, QD:32, RandRatio:30, OverRatio:50, "
                          "LimitTxSizeMB:256, LimitTimeSec:3 );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("        Last Cycle Data, Cycle"), std::string::npos) << r.output;
    EXPECT_TRUE(has_line(r.output, "Compare Result : Compare Finish. No error exist. | 0")) << r.output;
}

TEST_F(CompareOverlapE2E, ADiskThatCorruptsWritesIsCaughtByTheVerificationRead) {
    // The first verification comes after 10 seconds of writing.
    auto r = run(kDisk1 + "Compare_RandSizeOverlap( RangeLenMB:64, QD:8, LimitTxSizeMB:100000, LimitTimeSec:13 );\n",
                 "corrupt_writes = 100%");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-71)) << r.output;
    EXPECT_TRUE(has_line(r.output, "Error Type   : 1st Read is Miscompare, 2nd Read is still MisCompare!"))
        << r.output;
    EXPECT_TRUE(has_line(r.output, "Compare Result : 1st Read is Miscompare, 2nd Read is still Miscompare! | 2"))
        << r.output;
    EXPECT_NE(r.output.find("        CurrentLBA: 0x"), std::string::npos) << r.output;
    const std::string folder = tb::test::log_folder_of(r.output);
    ASSERT_FALSE(folder.empty()) << r.output;
    EXPECT_EQ(tb::test::files_ending(folder, "_Pattern.Hex").size(), 1u);
    EXPECT_EQ(tb::test::files_ending(folder, "_Read1.Hex").size(), 1u);
    EXPECT_EQ(tb::test::files_ending(folder, "_Read2.Hex").size(), 1u);
}

TEST_F(CompareOverlapE2E, LimitsAndModesAreRefused) {
    struct Case {
        std::string call;
        int exit_code;
        std::string text;
    };
    const Case cases[] = {
        {kDisk1 + "Compare_RandSizeOverlap( RangeLenMB:64, QD:33 );\n", tb::test::script_exit(-2), "iQDepth: 1 - 32"},
        {kDisk1 + "Compare_RandSizeOverlap( RangeLenMB:64, QD:0 );\n", tb::test::script_exit(-2), "iQDepth: 1 - 32"},
        {kDisk1 + "Compare_RandSizeOverlap( RangeLenMB:63 );\n", tb::test::script_exit(-2), "This Function, iRangeLenMB: 64 - 2048"},
        {kDisk1 + "Compare_RandSizeOverlap( RangeLenMB:2049 );\n", tb::test::script_exit(-2), "This Function, iRangeLenMB: 64 - 2048"},
        {kDisk1 + "Compare_RandSizeOverlap( RangeLenMB:64, RandRatio:101 );\n", tb::test::script_exit(-2), "iRandRatio/iOverRatio: 0 - 100"},
        {kDisk1 + "Compare_RandSizeOverlap( RangeLenMB:64, OverRatio:101 );\n", tb::test::script_exit(-2), "iRandRatio/iOverRatio: 0 - 100"},
        {"ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\nCompare_RandSizeOverlap( RangeLenMB:64 );\n", tb::test::script_exit(-20),
         "Compare_RandSizeOverlap"},
    };
    for (const Case& c : cases) {
        auto r = run(c.call);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.call << r.output;
        EXPECT_NE(r.output.find(c.text), std::string::npos) << c.call << r.output;
        EXPECT_EQ(r.output.find("Compare Result"), std::string::npos) << "no I/O was started: " << r.output;
    }
}

}  // namespace
