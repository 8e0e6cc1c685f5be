// End to end: the real binary runs the threaded write/verify loops on a
// simulated machine of its own; the report block, the disk's own command
// counters, the hex files, the errors and the exit codes are checked,
// also with medium faults set in the machine file.
#include <gtest/gtest.h>

#include <string>

#include "tests/compare_e2e_fixture.h"
#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

// The host read and write commands of the NVMe disk (SMART / health log)
// as <P>CR and <P>CW.
std::string nvme_commands(const std::string& prefix) {
    return "GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:512 );\n"
           "cr = ResultHex( ByteStart:64, Len:8, HexParse:\"Num\" );\n"
           "cw = ResultHex( ByteStart:80, Len:8, HexParse:\"Num\" );\n"
           "Print( Output:\"" + prefix + "CR=\" + cr + \" " + prefix + "CW=\" + cw );\n";
}

const std::string& kDisk1 = tb::test::kChangeToDisk1;

class CompareLoopsE2E : public tb::test::CompareE2E {
protected:
    CompareLoopsE2E() : CompareE2E("tamblor-loops-e2e") {}
};

TEST_F(CompareLoopsE2E, OneMegabyteOfSequentialRequestsIsWrittenAndVerifiedOnce) {
    auto r = run(kDisk1 + nvme_commands("A") +
                 "Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:128, QD:1 );\n" + nvme_commands("B"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has_line(r.output, "Last Cycle Data, Cycle1, Process:100%")) << r.output;
    EXPECT_TRUE(has_line(r.output, "Compare Result : Compare Finish. No error exist. | 0")) << r.output;
    auto v = tb::test::printed_values(r.output);
    ASSERT_TRUE(v.count("ACW") && v.count("BCW")) << r.output;
    // Eight writes of 128 KiB, each read back at once, and one cycle only.
    EXPECT_EQ(v["BCW"] - v["ACW"], 8);
    EXPECT_EQ(v["BCR"] - v["ACR"], 8);
}

TEST_F(CompareLoopsE2E, RandomRequestsWithTrimsFuaWritesAndFlushesAllVerify) {
    auto r = run(kDisk1 + nvme_commands("A") +
                 "Compare_RandReadWrite( LBA:2048, RangeLenMB:8, AccessKB:4, QD:16, TrimRatio:1000, FuaRatio:1000, "
                 "FlushRatio:500, nWrite1Read:2 );\n" +
                 nvme_commands("B"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has_line(r.output, "Compare Result : Compare Finish. No error exist. | 0")) << r.output;
    auto v = tb::test::printed_values(r.output);
    // One range of 4 KiB requests: 2048 writes and trims (about a tenth
    // trims), every second one of a stream read back.
    const long long writes = v["BCW"] - v["ACW"], reads = v["BCR"] - v["ACR"];
    EXPECT_GT(writes, 2048 * 8 / 10);
    EXPECT_LT(writes, 2048);
    EXPECT_GE(reads, 2048 / 2 - 16);
    EXPECT_LE(reads, 2048 / 2);
}

TEST_F(CompareLoopsE2E, LimitsAndModesAreRefused) {
    struct Case {
        std::string call;
        int exit_code;
        std::string text;
    };
    const Case cases[] = {
        {kDisk1 + "Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:128, QD:129 );\n", tb::test::script_exit(-2),
         "Compare_SeqReadWrite: QD:129 out of range (1 to 128)"},
        {kDisk1 + "Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:2048, QD:1 );\n", tb::test::script_exit(-2),
         "RangeLenMB:1 is shorter than one request"},
        {kDisk1 + "Compare_RandReadWrite( LBA:0, RangeLenMB:1, AccessKB:128, QD:16 );\n", tb::test::script_exit(-2),
         "RangeLenMB:1 must hold QD:16 requests"},
        {kDisk1 + "Compare_RandReadWrite( TrimRatio:5000, FuaRatio:4000, FlushRatio:1001 );\n", tb::test::script_exit(-2),
         "TrimRatio + FuaRatio + FlushRatio need <= 10000"},
        {"ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\n"
         "Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:128, QD:1 );\n",
         tb::test::script_exit(-20), "Compare_SeqReadWrite"},
    };
    for (const Case& c : cases) {
        auto r = run(c.call);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.call << r.output;
        EXPECT_NE(r.output.find(c.text), std::string::npos) << c.call << r.output;
        EXPECT_EQ(r.output.find("Compare Result"), std::string::npos) << "no I/O was started: " << r.output;
    }
}

TEST_F(CompareLoopsE2E, AReadErrorEndsTheRunWithMinus3AndThePosition) {
    auto r = run(kDisk1 + "Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:128, QD:1 );\n",
                 "read_errors = 1 @ 768-1023");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-3)) << r.output;
    EXPECT_TRUE(has_line(r.output, "Compare Result : Other Error. | 255")) << r.output;
    // The read-back of the request at LBA 768 (the seventh) failed.
    EXPECT_TRUE(has_line(r.output, "CurrentLBA: 0x0000000000000300")) << r.output;
    EXPECT_NE(r.output.find("[Error Desc]:  Read IO Fail. CurrentLBA: 0x0000000000000300"), std::string::npos)
        << r.output;
}

TEST_F(CompareLoopsE2E, ACorruptedWriteIsAMiscompareOnBothReads) {
    auto r = run(kDisk1 + "Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:128, QD:4 );\n",
                 // Only the request at LBA 0x200 covers the range, whichever of the
                 // four in flight reaches the disk first.
                 "corrupt_writes = 1 @ 512-767");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-71)) << r.output;
    EXPECT_TRUE(has_line(r.output, "Error Type   : 1st Read is Miscompare, 2nd Read is still MisCompare!"))
        << r.output;
    EXPECT_TRUE(has_line(r.output, "Error Action : LBA:0x200 , AccessSize:0x20000")) << r.output;
    EXPECT_TRUE(has_line(r.output, "Error LBA    : 0x200")) << r.output;
    EXPECT_TRUE(has_line(r.output, "Compare Result : 1st Read is Miscompare, 2nd Read is still Miscompare! | 2"))
        << r.output;
    EXPECT_TRUE(has_line(r.output, "CurrentLBA: 0x0000000000000200")) << r.output;
    const std::string folder = tb::test::log_folder_of(r.output);
    ASSERT_FALSE(folder.empty()) << r.output;
    EXPECT_EQ(tb::test::files_ending(folder, "_Pattern.Hex").size(), 1u);
    EXPECT_EQ(tb::test::files_ending(folder, "_Read1.Hex").size(), 1u);
    EXPECT_EQ(tb::test::files_ending(folder, "_Read2.Hex").size(), 1u);
}

TEST_F(CompareLoopsE2E, AStaleFirstReadIsAMiscompareThatTheSecondReadClears) {
    auto r = run(kDisk1 + "Compare_RandReadWrite( LBA:0, RangeLenMB:1, AccessKB:4, QD:4, LimitTxSizeMB:4 );\n",
                 "stale_reads = 1");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-70)) << r.output;
    EXPECT_TRUE(has_line(r.output, "Error Type   : 1st Read is Miscompare, 2nd Read is Correct!")) << r.output;
    EXPECT_TRUE(has_line(r.output, "Compare Result : 1st Read is Miscompare, 2nd Read is Correct! | 1")) << r.output;
    EXPECT_NE(r.output.find("        CurrentLBA: 0x"), std::string::npos) << r.output;
}

}  // namespace
