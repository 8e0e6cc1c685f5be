// The file commands on a real file system of this machine: a loop device
// with a GPT partition formatted ext4 and mounted, found by the program's
// Linux discovery as the target disk's volume (its mount point standing for
// the volume path). Copies go through copy_file_range there; a full volume
// ends a copy and a write with a clear error and keeps the files it would
// have replaced. Needs root and the util-linux and e2fsprogs tools; skipped
// without them, failed instead under CI=true.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "platform/host/copy_file.h"
#include "tests/e2e_support.h"
#include "tests/loop_device.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

using tb::test::MountedLoopVolume;
using tb::test::read_file;
using tb::test::run_shell;

class FileCommandLoop : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = volume_.set_up({"tamblor-file-loop"});
        if (!missing.empty()) tb::test::skip_or_fail_for(missing);
    }

    // Runs `script` against the loop device's drive on this machine's disks.
    tb::test::ShellResult run(const std::string& script) const { return volume_.run_script(script); }

    static bool has(const tb::test::ShellResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }

    MountedLoopVolume volume_;
};

TEST_F(FileCommandLoop, TheSystemCopyOnExt4IsDoneByTheKernel) {
    std::string data(6 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13 % 253);
    std::ofstream(volume_.mount() / "src.bin", std::ios::binary) << data;
    uint64_t last = 0;
    const tb::host::CopyResult result = tb::host::copy_file(volume_.mount() / "src.bin", volume_.mount() / "dst.bin",
                                                            [&last](uint64_t done, uint64_t) {
                                                                last = done;
                                                                return true;
                                                            });
    EXPECT_EQ(result.outcome, tb::host::CopyOutcome::Copied) << result.error;
    EXPECT_TRUE(result.by_kernel);
    EXPECT_EQ(last, data.size());
    EXPECT_EQ(read_file(volume_.mount() / "dst.bin"), data);
}

TEST_F(FileCommandLoop, RelativeNamesLandOnTheMountedVolumeAndCopyAndCompareThere) {
    tb::test::ShellResult r = run("J0 = File_Write( File:\"big.hex\", DataLenMB:8, WritePattern:0x0BADF00D );\n"
                                  "File_Copy( FromFile:\"big.hex\", ToFile:\"copy.hex\" );\n"
                                  "File_Compare( FromFile:\"big.hex\", ToFile:\"copy.hex\" );\n"
                                  "File_CompareWithPattern( File:\"copy.hex\", Pattern:0x0BADF00D );\n"
                                  "J1 = File_Read( File:\"copy.hex\", OffsetByte:4096 );\n"
                                  "S = File_JobState( JobID:J1 );\n"
                                  "Print( Output:\"S=\" + S );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["S"], 47);
    EXPECT_TRUE(has(r, "File Compare No Different.")) << r.output;
    EXPECT_TRUE(has(r, "Compare Result : Compare Finish. No error exist. | 0")) << r.output;
    ASSERT_EQ(fs::file_size(volume_.mount() / "copy.hex"), 8u << 20);
    EXPECT_EQ(read_file(volume_.mount() / "copy.hex"), read_file(volume_.mount() / "big.hex"));
}

TEST_F(FileCommandLoop, AFullVolumeEndsCopyAndWriteAndKeepsWhatTheyWouldReplace) {
    tb::test::ShellResult fill = run("File_Write( File:\"fill.hex\", DataLenMB:36 );\n");
    ASSERT_EQ(fill.exit_code, 0) << fill.output;
    std::ofstream(volume_.mount() / "keep.bin", std::ios::binary) << "kept";
    tb::test::ShellResult copy = run("File_Copy( FromFile:\"fill.hex\", ToFile:\"keep.bin\" );\n");
    EXPECT_EQ(copy.exit_code, tb::test::script_exit(-4)) << copy.output;
    EXPECT_TRUE(has(copy, "Copy File Error")) << copy.output;
    EXPECT_EQ(read_file(volume_.mount() / "keep.bin"), "kept");
    EXPECT_FALSE(fs::exists(volume_.mount() / "keep.bin.tamblor-part"));
    tb::test::ShellResult write = run("File_Write( File:\"keep.bin\", DataLenMB:200 );\n");
    EXPECT_EQ(write.exit_code, tb::test::script_exit(-4)) << write.output;
    EXPECT_EQ(read_file(volume_.mount() / "keep.bin"), "kept");
}

}  // namespace
