// End to end: the file commands through the real binary on a simulated
// machine whose target disk has a volume (relative names land in its
// folder): a write not waited for and its states, the read at the file's
// size, copies and compares of equal and different folders, the pattern
// check, deletes that nobody confirmed, and the bad input that must end in a
// clear error.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

using tb::test::read_file;

constexpr const char* kMachine =
    "[machine]\npersist = 0\n[disk0]\ntype = sata\ncapacity = 1GiB\nvolumes = C\n"
    "[disk1]\ntype = nvme\ncapacity = 1GiB\nvolumes = D\n[disk2]\ntype = nvme\ncapacity = 64MiB\n";

class FileCommandE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-file-e2e", kMachine};
    const fs::path dir_ = machine_.dir();

    tb::test::ShellResult run(const std::string& script, int disk = 1) {
        tb::test::ShellResult r = tb::test::run_sim_script(
            dir_, "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE" + std::to_string(disk) + "\" );\n" + script);
        log_ = tb::test::log_folder_of(r.output);
        return r;
    }
    // The folder of the target disk's volume D, where relative names go.
    fs::path volume() const { return dir_ / "sim" / "volume_D"; }
    std::string at(const std::string& name) const { return (dir_ / name).string(); }
    void write(const std::string& name, const std::string& bytes) const {
        fs::create_directories((dir_ / name).parent_path());
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    static bool has(const tb::test::ShellResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }
    // A file of `size` bytes whose every byte depends on its offset.
    static std::string counting_bytes(size_t size, int seed = 0) {
        std::string s(size, '\0');
        for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed)) % 251);
        return s;
    }

    std::string log_;
};

TEST_F(FileCommandE2E, AWriteNotWaitedForReturnsItsNumberAtOnceAndEndsAs31) {
    tb::test::ShellResult r = run(
        "J0 = File_Write( File:\"w.hex\", DataLenMB:1, WaitFinish:FALSE );\n"
        "S1 = File_JobState( JobID:J0 );\n"
        "Print( Output:\"S1=\" + S1 );\n"
        "i = 0;\n"
        "While( File_JobState( JobID:J0 ) == 17 ){\n"
        "  Delay( ms:20 );\n"
        "  i++;\n"
        "}\n"
        "S2 = File_JobState( JobID:J0 );\n"
        "Print( Output:\"S2=\" + S2 );\n"
        "C = File_CompareWithPattern( File:\"w.hex\", Pattern:0x55AA33CC, CheckHead:TRUE );\n"
        "Print( Output:\"C=\" + C );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto values = tb::test::printed_values(r.output);
    EXPECT_EQ(values["S1"], 17) << r.output;
    EXPECT_EQ(values["S2"], 31) << r.output;
    EXPECT_EQ(values["C"], 0) << r.output;
    EXPECT_TRUE(has(r, "Pattern     : 0x55AA33CC")) << r.output;
    EXPECT_TRUE(has(r, "Compare Result : Compare Finish. No error exist. | 0")) << r.output;
    const std::string data = read_file(volume() / "w.hex");
    ASSERT_EQ(data.size(), 1u << 20);
    EXPECT_EQ(data.substr(0, 12), std::string("\0\0\0\0\0\0\0\0\x55\xAA\x33\xCC", 12));
    EXPECT_EQ(data.substr(0xFFE00, 8), std::string("\x00\xFE\x0F\x00\x00\x00\x00\x00", 8));
}

TEST_F(FileCommandE2E, AWaitedWriteShowsItsDumpAndAReadAtTheFileSizeIsRefused) {
    tb::test::ShellResult r = run(
        "J0 = File_Write( File:\"r.hex\", DataLenMB:2, WritePattern:0x11223344 );\n"
        "S = File_JobState( JobID:J0 );\n"
        "Print( Output:\"S=\" + S );\n"
        "J1 = File_Read( File:\"r.hex\", OffsetByte:2097151 );\n"
        "S = File_JobState( JobID:J1 );\n"
        "Print( Output:\"R=\" + S );\n"
        "File_Read( File:\"r.hex\", OffsetByte:2097152 );\n"
        "Print( Output:\"NOT=1\" );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-255)) << r.output;
    auto values = tb::test::printed_values(r.output);
    EXPECT_EQ(values["S"], 31);
    EXPECT_EQ(values["R"], 47);
    EXPECT_EQ(values.count("NOT"), 0u);
    EXPECT_TRUE(has(r, "Offset must < FileSize")) << r.output;
    EXPECT_TRUE(has(r, "File Read : 100%")) << r.output;
    // The waited write showed the first 512 bytes it wrote.
    const auto dumps = tb::test::files_ending(log_, ".Hex");
    ASSERT_FALSE(dumps.empty()) << r.output;
    EXPECT_EQ(read_file(dumps.front()).substr(0, 12), std::string("\0\0\0\0\0\0\0\0\x11\x22\x33\x44", 12));
    // On a line of its own below the progress line the write rewrote.
    EXPECT_TRUE(has(r, "\n        00000000h: 00 00 00 00 00 00 00 00 11 22 33 44")) << r.output;
}

TEST_F(FileCommandE2E, AFolderCopiedToThePartitionComparesEqual) {
    write("src/a.bin", counting_bytes(300000));
    write("src/b.bin", counting_bytes(5, 3));
    write("src/empty.bin", "");
    tb::test::ShellResult r = run(
        "N = File_Copy( FromFile:\"" + at("src") + "\", ToFile:\"copy\" );\n"
        "Print( Output:\"N=\" + N );\n"
        "M = File_Compare( FromFile:\"" + at("src") + "\", ToFile:\"copy\" );\n"
        "Print( Output:\"M=\" + M );\n"
        "O = File_Copy( FromFile:\"copy\\a.bin\", ToFile:\"one.bin\" );\n"
        "File_Compare( FromFile:\"one.bin\", ToFile:\"" + at("src/a.bin") + "\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto values = tb::test::printed_values(r.output);
    EXPECT_EQ(values["N"], 3);
    EXPECT_EQ(values["M"], 3);
    EXPECT_TRUE(has(r, "Copying Files: 3")) << r.output;
    EXPECT_TRUE(has(r, "Total Copy Files: 3")) << r.output;
    EXPECT_TRUE(has(r, "Check Files: 3")) << r.output;
    EXPECT_TRUE(has(r, "File Compare No Different.")) << r.output;
    EXPECT_EQ(read_file(volume() / "copy" / "a.bin"), counting_bytes(300000));
    EXPECT_EQ(read_file(volume() / "one.bin"), counting_bytes(300000));
    EXPECT_TRUE(fs::exists(volume() / "copy" / "empty.bin"));
}

TEST_F(FileCommandE2E, DifferentFoldersGiveTheFirstDifferentOffsetAndBothPieces) {
    write("a/x.bin", counting_bytes(300000));
    write("a/y.bin", counting_bytes(1000, 1));
    std::string changed = counting_bytes(300000);
    changed[200000] ^= 0x40;
    write("b/x.bin", changed);
    write("b/y.bin", counting_bytes(1000, 1));
    tb::test::ShellResult r = run("File_Compare( FromFile:\"" + at("a") + "\", ToFile:\"" + at("b") + "\" );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-71)) << r.output;
    EXPECT_TRUE(has(r, "Miscompare Offset: 0x30D40")) << r.output;
    EXPECT_TRUE(has(r, "Source File: ")) << r.output;
    EXPECT_TRUE(has(r, "x.bin")) << r.output;
    EXPECT_TRUE(has(r, "Checking Files: 0")) << r.output;
    // The second 128 KiB pieces of both files.
    const auto src = tb::test::files_ending(log_, "_Src.hex");
    const auto dst = tb::test::files_ending(log_, "_Dest.hex");
    ASSERT_EQ(src.size(), 1u);
    ASSERT_EQ(dst.size(), 1u);
    EXPECT_EQ(read_file(src[0]), counting_bytes(300000).substr(131072, 131072));
    EXPECT_EQ(read_file(dst[0]), changed.substr(131072, 131072));
}

TEST_F(FileCommandE2E, AFileOnlyTheDestinationFolderHasOrASizeMakesFoldersDiffer) {
    write("a/x.bin", "same");
    write("b/x.bin", "same");
    write("b/extra.bin", "more");
    tb::test::ShellResult extra = run("File_Compare( FromFile:\"" + at("a") + "\", ToFile:\"" + at("b") + "\" );\n");
    EXPECT_EQ(extra.exit_code, tb::test::script_exit(-11)) << extra.output;
    write("c/x.bin", "samer");
    tb::test::ShellResult size =
        run("File_Compare( FromFile:\"" + at("a/x.bin") + "\", ToFile:\"" + at("c/x.bin") + "\" );\n");
    EXPECT_EQ(size.exit_code, tb::test::script_exit(-82)) << size.output;
}

TEST_F(FileCommandE2E, ADeleteNobodyConfirmedDeletesNothing) {
    write("d/a.hex", "1");
    write("d/b.hex", "2");
    tb::test::ShellResult r = run("N = File_Delete( File:\"" + at("d\\*.hex") + "\" );\nPrint( Output:\"N=\" + N );\n"
                                  "M = File_Delete( File:\"" + at("d\\a.hex") + "\", ConfirmMsg:FALSE );\n"
                                  "Print( Output:\"M=\" + M );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto values = tb::test::printed_values(r.output);
    EXPECT_EQ(values["N"], 0);
    EXPECT_EQ(values["M"], 1);
    EXPECT_TRUE(has(r, "---- Cancel Command ----")) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "d" / "a.hex"));
    EXPECT_TRUE(fs::exists(dir_ / "d" / "b.hex"));
}

TEST_F(FileCommandE2E, AWrongPatternIsReportedWithTheThreeDumps) {
    tb::test::ShellResult r = run("File_Write( File:\"p.hex\", DataLenMB:1, WritePattern:0x55AA33CC );\n"
                                  "File_CompareWithPattern( File:\"p.hex\", Pattern:0x55AA33CD, OffsetByte:1024 );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-71)) << r.output;
    EXPECT_TRUE(has(r, "Miscompare File Offset : 0x40B")) << r.output;
    EXPECT_TRUE(has(r, "Compare Result : 1st Read is Miscompare, 2nd Read is still MisCompare! | 2")) << r.output;
    for (const char* suffix : {"_W.hex", "_R.hex", "_R2.hex"})
        EXPECT_EQ(tb::test::files_ending(log_, suffix).size(), 1u) << suffix;
    const auto r1 = tb::test::files_ending(log_, "_R.hex");
    ASSERT_EQ(r1.size(), 1u);
    EXPECT_EQ(read_file(r1[0]).substr(0, 12), std::string("\x00\x04\0\0\0\0\0\0\x55\xAA\x33\xCC", 12));
}

TEST_F(FileCommandE2E, TheReportLinesAreReadBackFromTheResultFile) {
    tb::test::ShellResult r = run("File_Write( File:\"q.hex\", DataLenMB:1 );\n"
                                  "SetErrorSkip( 1 );\n"
                                  "File_CompareWithPattern( File:\"q.hex\", Pattern:0x55AA33CC, OffsetByte:512, "
                                  "CheckHead:FALSE );\n"
                                  "o = Result( KeyWord:\"Miscompare File Offset\", ShowResult:FALSE );\n"
                                  "Print( Output:\"O=[\" + o + \"]\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    // Without the offset marks checked, the mark of the block at 512 is the first wrong byte.
    EXPECT_TRUE(has(r, "O=[0x200]")) << r.output;
    EXPECT_TRUE(has(r, "-- Error Count: 1 --")) << r.output;
}

TEST_F(FileCommandE2E, BadInputEndsWithAClearError) {
    write("folder/inside.bin", "x");
    struct Case {
        std::string script;
        int code;
        std::string text;
    };
    const Case cases[] = {
        {"File_Copy( FromFile:\"" + at("none.bin") + "\", ToFile:\"x.bin\" );\n", -11, "Source is not exist"},
        {"File_Compare( FromFile:\"" + at("none.bin") + "\", ToFile:\"x.bin\" );\n", -11, "Source is not exist"},
        {"File_Read( File:\"" + at("folder") + "\" );\n", -11, "is a folder"},
        {"File_Write( File:\"" + at("folder") + "\", DataLenMB:1 );\n", -11, "is a folder"},
        {"File_Read( File:\"" + at("none.bin") + "\" );\n", -11, "none.bin"},
        {"File_CompareWithPattern( File:\"" + at("folder/inside.bin") + "\", Pattern:\"AUTO\" );\n", -2,
         "Cannot support AUTO Pattern"},
        {"File_Write( File:\"" + at("w.bin") + "\", DataLenMB:1, WritePattern:\"0xZZ\" );\n", -2, "WritePattern"},
    };
    for (const Case& c : cases) {
        tb::test::ShellResult r = run(c.script);
        EXPECT_EQ(r.exit_code, tb::test::script_exit(c.code)) << c.script << r.output;
        EXPECT_TRUE(has(r, c.text)) << c.script << r.output;
    }
    EXPECT_EQ(read_file(dir_ / "folder" / "inside.bin"), "x");
}

TEST_F(FileCommandE2E, ARelativeNameOnADiskWithoutAVolumeIsRefused) {
    tb::test::ShellResult r = run("File_Write( File:\"w.hex\", DataLenMB:1 );\n", 2);
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-24)) << r.output;
    EXPECT_TRUE(has(r, "has no mounted volume")) << r.output;
}

TEST_F(FileCommandE2E, FullByPatternWarnsAndWritesLikeFileWrite) {
    tb::test::ShellResult r = run("File_FullByPattern( File:\"f.hex\", DataLenMB:1, WritePattern:0x01020304 );\n"
                                  "File_CompareWithPattern( File:\"f.hex\", Pattern:0x01020304 );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "Warning! function name no longer supported, please change to File_Write")) << r.output;
    EXPECT_EQ(fs::file_size(volume() / "f.hex"), 1u << 20);
}

}  // namespace
