// End to end: the real binary makes, plays and checks LBA maps on a
// simulated machine of its own; the job log, the map and progress files,
// the detail CSV and the exit codes are checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

// Disk 0 holds a volume (not RAW); disk 1 is a raw NVMe disk.
constexpr const char* kMachine = R"INI([machine]
persist = 0
[disk0]
type = sata
model = MAP E2E SYSTEM
serial = MES0
capacity = 8GB
volumes = C
[disk1]
type = nvme
model = MAP E2E NVME
serial = MEN1
capacity = 1GB
pci = 3:0.0
)INI";

constexpr const char* kRawDisk = "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n";

class MapE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-map-e2e", kMachine};
    const fs::path& dir_ = machine_.dir();

    tb::test::ShellResult run(const std::string& script) { return tb::test::run_sim_script(dir_, script); }

    // What the detail CSV in the run's log folder holds.
    static std::string detail_csv(const std::string& output) {
        const auto files = tb::test::files_ending(tb::test::log_folder_of(output), ".csv");
        return files.empty() ? std::string() : tb::test::read_file(files.back());
    }

    // The path printed by "LBA Map File : %s ".
    static std::string map_path(const std::string& output) {
        std::smatch m;
        std::regex line("LBA Map File : (\\S*LBAMap\\.map)");
        return std::regex_search(output, m, line) ? m[1].str() : std::string();
    }

    static bool has(const std::string& output, const std::string& line) {
        return output.find("        " + line + "\n") != std::string::npos;
    }
};

TEST_F(MapE2E, CleanMapWrittenAndComparedHasNoErrors) {
    tb::test::ShellResult r = run(std::string(kRawDisk) +
                                  "m = Compare_MapMake( RandRatio:50, LBA:64, RangeLenMB:2, AccessKB:4, "
                                  "LimitTxSizeMB:4, TrimRatio:500, FuaRatio:500, FlushRatio:100 );\n"
                                  "Compare_MapWrite( LBAMap:m, QD:16 );\n"
                                  "Compare_MapCompare( LBAMap:m, BasePattern:0, WritePattern:0x55AA33CC );\n"
                                  "t = Result( KeyWord:\"Lost Durable Sectors\" );\n"
                                  "Print( Output:\"DURABLE=\" + t );\n"
                                  "Compare_MapWriteCompare( LBAMap:m, QD:8, WritePattern:0x12345678 );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const std::string map = map_path(r.output);
    ASSERT_FALSE(map.empty()) << r.output;
    EXPECT_NE(map.find("[LBAMap_"), std::string::npos);
    const std::string bytes = tb::test::read_file(map);
    ASSERT_GE(bytes.size(), 24u);
    const uint32_t count = static_cast<uint8_t>(bytes[20]) | static_cast<uint8_t>(bytes[21]) << 8 |
                           static_cast<uint8_t>(bytes[22]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(bytes[23])) << 24;
    EXPECT_EQ(bytes.size(), 24u + 9u * count);
    EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0x00);
    EXPECT_EQ(static_cast<uint8_t>(bytes[1]), 0x80);  // region start 64 × 512 = 0x8000
    EXPECT_TRUE(has(r.output, "LBA Start     : 0x00000040")) << r.output;
    EXPECT_TRUE(has(r.output, "RangeLenMB    : 2"));
    EXPECT_TRUE(has(r.output, "EachAccessKB  : 4"));
    EXPECT_TRUE(has(r.output, "Write Pattern : 0x55AA33CC"));
    EXPECT_TRUE(has(r.output, "Write Complete Counts   : 1024")) << r.output;
    EXPECT_TRUE(has(r.output, "Write Uncomplete Counts : 0"));
    for (const char* line : {"Miscompare - All 0x00 Sectors    : 0", "Miscompare - As Old Data Sectors : 0",
                             "Miscompare - Miscompare Sectors  : 0", "Read IO Fail Sectors             : 0",
                             "Total Error Sectors              : 0", "Lost Unflushed Sectors           : 0",
                             "Lost Durable Sectors             : 0"})
        EXPECT_TRUE(has(r.output, line)) << line << "\n" << r.output;
    EXPECT_NE(r.output.find("DURABLE=0"), std::string::npos) << r.output;
    EXPECT_TRUE(has(r.output, "Pattern       : 0x12345678"));
    EXPECT_TRUE(has(r.output, "Compare Result : Compare Finish. No error exist. | 0")) << r.output;
    // The map was copied into the log folder; its progress record says the play finished.
    EXPECT_TRUE(fs::exists(fs::path(tb::test::log_folder_of(r.output)) / "LBAMap.map"));
    const std::string progress = tb::test::read_file(fs::path(map).parent_path() / "LBAMap.progress");
    EXPECT_NE(progress.find("\nfinished=1\n"), std::string::npos) << progress;
}

TEST_F(MapE2E, ASectorChangedBehindTheMapIsFoundAndDetailed) {
    // One sequential pass: unit 1 (LBA 8..15) ends with write 2 of the map.
    tb::test::ShellResult r = run(std::string(kRawDisk) +
                                  "m = Compare_MapMake( RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:4, "
                                  "LimitTxSizeMB:\"CYCLE\" );\n"
                                  "Compare_MapWrite( LBAMap:m, QD:4, WritePattern:0x0F0F0F0F );\n"
                                  "LBAWrite( LBA:10, SectorCount:1, WritePattern:0x12345678, MarkSectorHeader:FALSE );\n"
                                  "n = Compare_MapCompare( LBAMap:m, BasePattern:0, WritePattern:0x0F0F0F0F );\n"
                                  "Print( Output:\"ERRORS=\" + n );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r.output, "Miscompare - Miscompare Sectors  : 1")) << r.output;
    EXPECT_TRUE(has(r.output, "Total Error Sectors              : 1"));
    EXPECT_TRUE(has(r.output, "Lost Unflushed Sectors           : 1"));
    EXPECT_TRUE(has(r.output, "Detail Data for each error commands."));
    EXPECT_NE(r.output.find("ERRORS=1"), std::string::npos);
    // The detail file: header, then the unit at LBA 8 with its wrong sector 10.
    const std::string csv = detail_csv(r.output);
    ASSERT_FALSE(csv.empty());
    EXPECT_EQ(csv.rfind("Access LBA (4KB)        ,Correct   ,", 0), 0u) << csv;
    EXPECT_NE(csv.find("00 00 00 00 00 00 00 08 ,7         ,0         ,0         ,1         ,0         ,"
                       "00 00 00 00 00 00 00 0A ,Correct Data,00 00 00 00 00 00 00 0A ,00 00 00 00 00 00 00 02 ,"
                       "00 00 00 00 00 00 00 01 ,0F 0F 0F 0F 0F 0F 0F 0F ,\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("Read 1st    ,12 34 56 78 12 34 56 78 ,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("Read 2nd    ,12 34 56 78 12 34 56 78 ,"), std::string::npos) << csv;
}

TEST_F(MapE2E, OneCycleWithoutRandomVisitsEveryUnitOnceInOrder) {
    tb::test::ShellResult r = run(std::string(kRawDisk) +
                                  "m = Compare_MapMake( RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:8, "
                                  "LimitTxSizeMB:\"CYCLE\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const std::string bytes = tb::test::read_file(map_path(r.output));
    ASSERT_EQ(bytes.size(), 24u + 9u * 128u);
    for (uint32_t i = 0; i < 128; ++i) {
        const uint64_t offset = static_cast<uint8_t>(bytes[24 + 9 * i + 1]) << 8 |
                                static_cast<uint64_t>(static_cast<uint8_t>(bytes[24 + 9 * i + 2])) << 16;
        EXPECT_EQ(offset, uint64_t{i} * 8192) << i;
        EXPECT_EQ(bytes[24 + 9 * i + 8], 0) << i;
    }
}

TEST_F(MapE2E, LimitsAreRefusedWithTheirOwnMessages) {
    tb::test::ShellResult r = run(std::string(kRawDisk) +
                                  "Compare_MapMake( LBA:0, RangeLenMB:1, TrimRatio:3000, FlushRatio:2000 );\n"
                                  "Print( Output:\"ACCEPTED\" );\n"
                                  "Compare_MapMake( LBA:0, RangeLenMB:1, TrimRatio:3000, FlushRatio:2001 );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << r.output;
    EXPECT_NE(r.output.find("ACCEPTED"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Trim + Flush Ratio need < 5000"), std::string::npos) << r.output;

    struct Case {
        const char* call;
        const char* message;
        int exit_code;
    };
    const Case cases[] = {
        {"Compare_MapMake( RandRatio:101 );", "RandRatio:101 out of range", tb::test::script_exit(-2)},
        {"Compare_MapMake( AccessKB:0 );", "AccessKB:0 out of range", tb::test::script_exit(-2)},
        {"Compare_MapMake( TrimRatio:1000, FuaRatio:8000, FlushRatio:1001 );", "Trim + Fua + Flush Ratio need <= 10000", tb::test::script_exit(-2)},
        {"Compare_MapWrite( LBAMap:\"nothing-here.map\", QD:129 );", "QD:129 out of range", tb::test::script_exit(-2)},
        {"Compare_MapWrite( LBAMap:\"x.map\", WritePattern:\"AUTO\" );", "Cannot support AUTO Pattern", tb::test::script_exit(-2)},
        {"Compare_MapCompare( LBAMap:\"x.map\", BasePattern:\"AUTO\" );", "Cannot support AUTO BasePattern", tb::test::script_exit(-2)},
        {"Compare_MapWrite( LBAMap:\"/nowhere/LBAMap.map\" );", "File Open Fail or File Does Not Exist", tb::test::script_exit(-11)},
        {"Compare_MapRecoverBasePattern();", "Need Call Compare_MapWrite and Comapre_MapCompare beforce this command", tb::test::script_exit(-2)},
    };
    for (const Case& c : cases) {
        tb::test::ShellResult one = run(std::string(kRawDisk) + c.call + "\n");
        EXPECT_EQ(one.exit_code, c.exit_code) << c.call << "\n" << one.output;
        EXPECT_NE(one.output.find(c.message), std::string::npos) << c.call << "\n" << one.output;
    }
}

TEST_F(MapE2E, AppendExtendsTheRegionOverBothAndKeepsTheRequestSize) {
    tb::test::ShellResult r = run(std::string(kRawDisk) +
                                  "m = Compare_MapMake( RandRatio:0, LBA:2048, RangeLenMB:1, AccessKB:8, "
                                  "LimitTxSizeMB:\"CYCLE\" );\n"
                                  "Compare_MapAppend( LBAMap:m, RandRatio:0, LBA:0, RangeLenMB:1, LimitTxSizeMB:\"CYCLE\" );\n"
                                  "Compare_MapWrite( LBAMap:m );\n"
                                  "Compare_MapCompare( LBAMap:m );\n"
                                  "Compare_MapAppend( LBAMap:m, LBA:1, RangeLenMB:1 );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << r.output;
    EXPECT_NE(r.output.find("LBA must lie a whole number of the map's requests from its region"), std::string::npos)
        << r.output;
    const std::string bytes = tb::test::read_file(map_path(r.output));
    ASSERT_EQ(bytes.size(), 24u + 9u * 256u);
    EXPECT_EQ(bytes.substr(0, 24), std::string("\0\0\0\0\0\0\0\0"     // region start 0
                                               "\0\0\x20\0\0\0\0\0"   // 2 MiB
                                               "\0\x20\0\0"             // 8 KiB requests
                                               "\0\x01\0\0",            // 256 records
                                               24));
    EXPECT_TRUE(has(r.output, "Total Error Sectors              : 0")) << r.output;
}

TEST_F(MapE2E, AUnitThatCannotBeReadCountsAsReadFail) {
    std::ofstream(dir_ / "machine.ini", std::ios::binary | std::ios::app) << "read_errors = 1 @ 50-50\n";
    tb::test::ShellResult r = run(std::string(kRawDisk) +
                                  "m = Compare_MapMake( RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:4, "
                                  "LimitTxSizeMB:\"CYCLE\" );\n"
                                  "Compare_MapWrite( LBAMap:m );\n"
                                  "Compare_MapCompare( LBAMap:m );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r.output, "Read IO Fail Sectors             : 8")) << r.output;
    EXPECT_TRUE(has(r.output, "Total Error Sectors              : 8"));
    const std::string csv = detail_csv(r.output);
    // The unit of LBA 48..55: no sector classified, all eight unreadable.
    EXPECT_NE(csv.find("00 00 00 00 00 00 00 30 ,0         ,0         ,0         ,0         ,8         ,"
                       "00 00 00 00 00 00 00 30 ,"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("Read 1st    ,Read Fail               ,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("Read 2nd    ,00 00 00 00 00 00 00 30 ,"), std::string::npos) << csv;
}

TEST_F(MapE2E, ADamagedMapIsRefusedBeforeAnyIo) {
    // Two records claimed, one present.
    std::string map(24, '\0');
    map[9] = 0x10;   // region length 0x1000 bytes... one request of 4096
    map[17] = 0x10;  // request size 4096
    map[20] = 2;
    map += std::string(9, '\0');
    std::ofstream(dir_ / "bad.map", std::ios::binary) << map;
    tb::test::ShellResult r = run(std::string(kRawDisk) + "Compare_MapWrite( LBAMap:\"" + (dir_ / "bad.map").string() +
                                  "\" );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-90)) << r.output;
    EXPECT_NE(r.output.find("claims 2 records but its size holds 1"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Select File"), std::string::npos) << r.output;
}

TEST_F(MapE2E, RawModeOnly) {
    tb::test::ShellResult r = run("ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\nCompare_MapMake();\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-20)) << r.output;
    EXPECT_TRUE(has(r.output, "Command Only Support RAW Mode")) << r.output;
}

TEST_F(MapE2E, RecoverRestoresTheBaseDataOfEveryUnitThePlayTouched) {
    // Units 0..127 of 4 KiB hold the base data; the map writes every one.
    tb::test::ShellResult r = run(std::string(kRawDisk) +
                                  "LBAWrite( LBA:0, SectorCount:1024, WritePattern:0xA5A5A5A5, MarkSectorHeader:TRUE );\n"
                                  "m = Compare_MapMake( RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:\"CYCLE\" );\n"
                                  "Compare_MapWrite( LBAMap:m );\n"
                                  "a = Compare_MapCompare( LBAMap:m, BasePattern:0xA5A5A5A5 );\n"
                                  "Compare_MapRecoverBasePattern();\n"
                                  "b = Compare_MapCompare( LBAMap:m, BasePattern:0xA5A5A5A5 );\n"
                                  "Print( Output:\"BEFORE=\" + a + \" AFTER=\" + b );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("Recover By Base Pattern : 100%"), std::string::npos) << r.output;
    // After the recover every written unit holds the base data again: old data.
    EXPECT_NE(r.output.find("BEFORE=0 AFTER=2048"), std::string::npos) << r.output;
    EXPECT_TRUE(has(r.output, "Miscompare - As Old Data Sectors : 2048")) << r.output;
}

}  // namespace

namespace {

// A power cut in the middle of a map's play, then a second process that
// compares the disk with the map: the progress record written by the first
// process tells which records were in flight.
class MapPowerLossE2E : public MapE2E {
protected:
    void use_machine(const std::string& disk1_extra) {
        machine_.write_machine(kMachine + disk1_extra);
    }
    // Lays down the base data (made durable), makes a map of `make_keys`
    // and plays it until the power goes; returns the map's path.
    std::string play_until_power_loss(const std::string& make_keys) {
        use_machine("power_loss_after_writes = 151\npower_loss_unflushed = lost\n");
        tb::test::ShellResult r = run(std::string(kRawDisk) +
                                      "LBAWrite( LBA:0, SectorCount:2048, WritePattern:0, MarkSectorHeader:TRUE );\n"
                                      "FlushCache();\n"
                                      "m = Compare_MapMake( LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:2, " +
                                      make_keys + " );\n"
                                      "Print( Output:\"MAP=\" + m );\n"
                                      "Compare_MapWrite( LBAMap:m, QD:8 );\n");
        EXPECT_EQ(r.exit_code, tb::test::script_exit(-4)) << r.output;  // the disk went away mid-play
        EXPECT_NE(r.output.find("CurrentLBA: 0x"), std::string::npos) << r.output;
        std::smatch m;
        std::regex map_line("MAP=(\\S+)");
        return std::regex_search(r.output, m, map_line) ? m[1].str() : std::string();
    }
    tb::test::ShellResult compare_in_new_process(const std::string& map) {
        use_machine("");
        return run(std::string(kRawDisk) + "Compare_MapCompare( LBAMap:\"" + map +
                   "\", BasePattern:0, WritePattern:0x55AA33CC );\n");
    }
    static long long count_of(const std::string& output, const std::string& label) {
        size_t at = output.find(label);
        if (at == std::string::npos) return -1;
        return std::stoll(output.substr(at + label.size()));
    }
};

TEST_F(MapPowerLossE2E, FuaWritesSurviveTheCutExactly) {
    const std::string map = play_until_power_loss("RandRatio:100, FuaRatio:10000");
    ASSERT_FALSE(map.empty());
    const std::string progress = tb::test::read_file(fs::path(map).parent_path() / "LBAMap.progress");
    EXPECT_NE(progress.find("\nfinished=0\n"), std::string::npos) << progress;
    tb::test::ShellResult r = compare_in_new_process(map);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    // Every write that completed was durable; those in flight may hold
    // either version: nothing is wrong.
    EXPECT_TRUE(has(r.output, "Total Error Sectors              : 0")) << r.output;
    EXPECT_TRUE(has(r.output, "Lost Durable Sectors             : 0")) << r.output;
}

TEST_F(MapPowerLossE2E, UnflushedWritesAreLostAsOldDataNeverAsDurable) {
    const std::string map = play_until_power_loss("RandRatio:0");
    ASSERT_FALSE(map.empty());
    tb::test::ShellResult r = compare_in_new_process(map);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    // No flush ever completed: the cache lost every write, so the units the
    // play completed hold their base data again.
    const long long old = count_of(r.output, "Miscompare - As Old Data Sectors : ");
    EXPECT_GT(old, 0) << r.output;
    EXPECT_EQ(count_of(r.output, "Total Error Sectors              : "), old) << r.output;
    EXPECT_EQ(count_of(r.output, "Lost Unflushed Sectors           : "), old) << r.output;
    EXPECT_TRUE(has(r.output, "Lost Durable Sectors             : 0")) << r.output;
    EXPECT_TRUE(has(r.output, "Miscompare - Miscompare Sectors  : 0")) << r.output;
    EXPECT_TRUE(has(r.output, "Miscompare - All 0x00 Sectors    : 0")) << r.output;
}

}  // namespace
