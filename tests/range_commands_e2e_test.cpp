// End to end: the range commands (FullByPattern, Compare_WithPattern,
// FindLBA_ByPattern) run through the real binary on a simulated machine of
// their own; the job log, the hex files and the exit codes are checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kSector = 512;

using tb::test::read_file;

// One sector as the pattern fill and the sector stamp make it.
std::string stamped_sector(uint64_t lba, uint32_t pattern, bool stamp = true) {
    std::string s(kSector, '\0');
    for (size_t i = 0; i < kSector; ++i) s[i] = static_cast<char>(pattern >> (8 * (3 - i % 4)));
    if (stamp)
        for (int i = 0; i < 8; ++i) s[static_cast<size_t>(i)] = static_cast<char>(lba >> (8 * (7 - i)));
    return s;
}

// Disk 0 carries a volume (not RAW); disk 1 is a raw NVMe disk; disk 2 a raw
// NVMe disk whose LBAs 3000 and 9000 fail a read once.
constexpr const char* kMachine =
    "[machine]\npersist = 0\n"
    "[disk0]\ntype = sata\ncapacity = 256MiB\nvolumes = C\n"
    "[disk1]\ntype = nvme\ncapacity = 64MiB\n"
    "[disk2]\ntype = nvme\ncapacity = 64MiB\nread_errors = 1 @ 3000-3000, 1 @ 9000-9000\n";

class RangeCommandsE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-range-e2e", kMachine};
    const fs::path dir_ = machine_.dir();

    // Runs the script on disk `disk`.
    tb::test::ShellResult run(int disk, const std::string& script) {
        tb::test::ShellResult r = tb::test::run_sim_script(
            dir_, "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE" + std::to_string(disk) + "\" );\n" + script);
        const std::string folder = tb::test::log_folder_of(r.output);
        if (!folder.empty()) log_ = folder;
        return r;
    }
    // The files of the log folder whose names end with `suffix`, in name order.
    std::vector<fs::path> files_ending(const std::string& suffix) const { return tb::test::files_ending(log_, suffix); }
    static bool has(const tb::test::ShellResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }
    static size_t count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }

    std::string log_;
};

TEST_F(RangeCommandsE2E, AFilledRangeComparesCleanWithAFixedAndAnAutoPattern) {
    tb::test::ShellResult r = run(1,
                                  "FullByPattern( LBA:100, RangeMB:2, Pattern:0x5A5AA5A5, MarkSectorHeader:TRUE );\n"
                                  "Compare_WithPattern( LBA:100, RangeMB:2, ComparePattern:0x5A5AA5A5, AccessKB:256 );\n"
                                  "p = FullByPattern( LBA:8192, RangeSector:1000, Pattern:\"AUTO\" );\n"
                                  "Compare_WithPattern( LBA:8192, RangeSector:1000, ComparePattern:p, AccessKB:64 );\n"
                                  "Compare_WithPattern( LBA:0, RangeSector:4, ComparePattern:0, MarkSectorHeader:FALSE );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "Pattern     : 0x5A5AA5A5")) << r.output;
    EXPECT_EQ(count(r.output, "Pattern     : 0x"), 2u);
    EXPECT_EQ(count(r.output, "Last Cycle Data, Cycle1, Process:100%"), 3u) << r.output;
    EXPECT_EQ(count(r.output, "Compare Result : Compare Finish. No error exist. | 0"), 3u) << r.output;
    EXPECT_FALSE(has(r, "Miscompare"));
}

TEST_F(RangeCommandsE2E, ASectorChangedBehindTheDisksBackIsAMiscompareAtItsExactLba) {
    tb::test::ShellResult r =
        run(1,
            "FullByPattern( LBA:0, RangeMB:1, Pattern:0x11223344 );\n"
            "LBAWrite( LBA:1000, SectorCount:1, WritePattern:0x99999999, MarkSectorHeader:TRUE );\n"
            "Compare_WithPattern( LBA:0, RangeMB:1, ComparePattern:0x11223344, AccessKB:256 );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-71)) << r.output;
    EXPECT_TRUE(has(r, "Error Type   : 1st Read is Miscompare, 2nd Read is still MisCompare!")) << r.output;
    EXPECT_TRUE(has(r, "Error Action : LBA:0x200 , AccessSize:0x40000")) << r.output;
    EXPECT_TRUE(has(r, "Error LBA    : 0x3E8")) << r.output;
    EXPECT_TRUE(has(r, "Compare Result : 1st Read is Miscompare, 2nd Read is still Miscompare! | 2")) << r.output;
    EXPECT_TRUE(has(r, "Last Cycle Data, Cycle1, Process:25%")) << r.output;
    EXPECT_TRUE(has(r, "CurrentLBA: 0x0000000000000200")) << r.output;

    const std::vector<fs::path> pattern = files_ending("_Pattern.Hex"), read1 = files_ending("_Read1.Hex"),
                                read2 = files_ending("_Read2.Hex");
    ASSERT_EQ(pattern.size(), 1u);
    ASSERT_EQ(read1.size(), 1u);
    ASSERT_EQ(read2.size(), 1u);
    EXPECT_EQ(read_file(pattern[0]), stamped_sector(1000, 0x11223344));
    EXPECT_EQ(read_file(read1[0]), stamped_sector(1000, 0x99999999));
    EXPECT_EQ(read_file(read2[0]), stamped_sector(1000, 0x99999999));
    // The job log shows each file as a hex view.
    const std::string html = read_file(fs::path(log_) / "TestLog.htm");
    for (const fs::path& f : {pattern[0], read1[0], read2[0]})
        EXPECT_NE(html.find(f.filename().string()), std::string::npos) << f;
}

TEST_F(RangeCommandsE2E, FindsAPatternAtItsExactLbaInTheFourAndTheEightByteForm) {
    // A sector holding 1B CD EF 01 23 45 67 89 and one holding only 23 45 67 89.
    std::string data(2 * kSector, '\0');
    const std::string eight = "\x1B\xCD\xEF\x01\x23\x45\x67\x89";
    data.replace(100, 8, eight);
    data.replace(kSector + 300, 4, eight.substr(4));
    std::ofstream(dir_ / "two.bin", std::ios::binary) << data;
    tb::test::ShellResult r =
        run(1,
            "LBAWrite( LBA:777, SectorCount:1, WritePattern:0x55AAFF00, MarkSectorHeader:TRUE );\n"
            "LBAWrite( LBA:30000, File:\"" + (dir_ / "two.bin").string() + "\" );\n"
            "a = FindLBA_ByPattern( StartLBA:0, FindPattern:0x55AAFF00 );\n"
            "b = FindLBA_ByPattern( StartLBA:0, FindPattern:0x1BCDEF0123456789 );\n"
            "c = FindLBA_ByPattern( StartLBA:29000, FindPattern:0x23456789 );\n"
            "d = FindLBA_ByPattern( StartLBA:131000, FindPattern:0xFFFFFFFF );\n"
            "Print( Output:\"FOUND \" + a + \" \" + b + \" \" + c + \" \" + d );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "Search Pattern Byte List: 55 AA FF 00")) << r.output;
    EXPECT_TRUE(has(r, "Search Pattern Byte List: 1B CD EF 01 23 45 67 89")) << r.output;
    EXPECT_TRUE(has(r, "Search Pattern Byte List: 23 45 67 89")) << r.output;
    EXPECT_TRUE(has(r, "Search Pattern Byte List: 00 00 00 00 FF FF FF FF")) << r.output;
    EXPECT_TRUE(has(r, "[1] Finound LBA : 0x309")) << r.output;    // 777
    EXPECT_TRUE(has(r, "[1] Finound LBA : 0x7530")) << r.output;   // 30000, both forms
    EXPECT_TRUE(has(r, "[2] Finound LBA : 0x7531")) << r.output;   // 30001, the four-byte form only
    EXPECT_TRUE(has(r, "FOUND 1 1 2 0")) << r.output;
    // Each find is saved as a data file holding its sector.
    const std::vector<fs::path> found = files_ending(".hex");
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(read_file(found[0]), stamped_sector(777, 0x55AAFF00));
    EXPECT_EQ(read_file(found[1]), data.substr(0, kSector));
    EXPECT_EQ(read_file(found[3]), data.substr(kSector));
}

TEST_F(RangeCommandsE2E, TheSearchStopsAfterTwentyFinds) {
    tb::test::ShellResult r = run(1,
                                  "LBAWrite( LBA:5000, SectorCount:25, WritePattern:0x55AAFF00 );\n"
                                  "n = FindLBA_ByPattern( StartLBA:4000, FindPattern:0x55AAFF00 );\n"
                                  "Print( Output:\"FOUND \" + n );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "[20] Finound LBA : 0x139B")) << r.output;  // 5019
    EXPECT_FALSE(has(r, "[21] Finound LBA")) << r.output;
    EXPECT_TRUE(has(r, "Cancel by too many LBAs found")) << r.output;
    EXPECT_TRUE(has(r, "FOUND 20")) << r.output;
}

TEST_F(RangeCommandsE2E, ADiskWithAVolumeIsRefusedWithMinus20) {
    for (const char* call : {"FullByPattern( LBA:0, RangeMB:1 );", "Compare_WithPattern( LBA:0, RangeSector:8 );",
                             "FindLBA_ByPattern( StartLBA:0 );"}) {
        tb::test::ShellResult r = run(0, std::string(call) + "\n");
        EXPECT_EQ(r.exit_code, tb::test::script_exit(-20)) << call << r.output;
        EXPECT_TRUE(has(r, "Command Only Support RAW Mode")) << r.output;
        EXPECT_FALSE(has(r, "Pattern     :")) << r.output;
        EXPECT_FALSE(has(r, "Search Pattern Byte List")) << r.output;
    }
}

TEST_F(RangeCommandsE2E, AReadErrorGivesMinus3WithThePosition) {
    tb::test::ShellResult r = run(2,
                                  "FullByPattern( LBA:0, RangeMB:8, Pattern:0x0F0F0F0F );\n"
                                  "Compare_WithPattern( LBA:0, RangeMB:8, ComparePattern:0x0F0F0F0F, AccessKB:1024 );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-3)) << r.output;
    EXPECT_TRUE(has(r, "Compare Result : Other Error. | 255")) << r.output;
    EXPECT_TRUE(has(r, "CurrentLBA: 0x0000000000000800")) << r.output;  // the 1 MiB piece holding LBA 3000
    EXPECT_TRUE(has(r, "Read IO Fail")) << r.output;

    r = run(2, "FindLBA_ByPattern( StartLBA:4096, FindPattern:0x12345678 );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-3)) << r.output;
    EXPECT_TRUE(has(r, "CurrentLBA: 0x0000000000002000")) << r.output;  // the 1 MiB read holding LBA 9000
}

TEST_F(RangeCommandsE2E, KeysOutsideTheirLimitsAreRefusedWithMinus2) {
    for (const char* call : {"Compare_WithPattern( LBA:0, RangeSector:8, AccessKB:0 );",
                             "Compare_WithPattern( LBA:0, RangeSector:8, ComparePattern:0x4F545541 );",
                             "Compare_WithPattern( LBA:0, RangeSector:8, AccessKB:40000 );",
                             "FullByPattern( LBA:200000, RangeMB:1 );",
                             "FullByPattern( LBA:0, RangeMB:1, Pattern:\"SOME\" );",
                             "FindLBA_ByPattern( StartLBA:131072 );"}) {
        tb::test::ShellResult r = run(1, std::string(call) + "\n");
        EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << call << r.output;
    }
}

}  // namespace
