// The file commands on a real file system of this machine: a loop device
// with a GPT partition formatted ext4 and mounted, found by the program's
// Linux discovery as the target disk's volume (its mount point standing for
// the volume path). Copies go through copy_file_range there; a full volume
// ends a copy and a write with a clear error and keeps the files it would
// have replaced. Needs root and the util-linux and e2fsprogs tools; skipped
// without them, failed instead under CI=true.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "platform/host/copy_file.h"
#include "tests/e2e_support.h"
#include "tests/shell_run.h"
#include "tests/temp_dir.h"

namespace {

namespace fs = std::filesystem;

using tb::test::read_file;
using tb::test::run_shell;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// A 64 MiB image with one GPT partition, attached, formatted and mounted.
class MountedLoopVolume {
public:
    // Empty when all is ready, else why not.
    std::string set_up() {
        if (::geteuid() != 0) return "loop devices and mounts need root";
        for (const char* tool : {"losetup", "sfdisk", "partx", "mkfs.ext4", "mount", "umount"})
            if (run_shell(std::string("command -v ") + tool).exit_code != 0) return std::string(tool) + " not installed";
        dir_ = tb::test::make_temp_dir("tamblor-file-loop");
        const fs::path image = fs::path(dir_) / "disk.img";
        if (run_shell("truncate -s 64M " + quoted(image)).exit_code != 0) return "no image file";
        tb::test::ShellResult table = run_shell("printf 'label: gpt\\n,\\n' | sfdisk -q " + quoted(image));
        if (table.exit_code != 0) return "sfdisk: " + table.output;
        tb::test::ShellResult attach = run_shell("losetup -fP --show " + quoted(image));
        if (attach.exit_code != 0) return "cannot attach a loop device: " + attach.output;
        device_ = attach.output.substr(0, attach.output.find('\n'));
        partition_ = device_ + "p1";
        if (!wait_for_partition()) return "no partition node " + partition_;
        tb::test::ShellResult mkfs = run_shell("mkfs.ext4 -q -F " + partition_);
        if (mkfs.exit_code != 0) return "mkfs.ext4: " + mkfs.output;
        mount_ = fs::path(dir_) / "mnt";
        fs::create_directories(mount_);
        tb::test::ShellResult mounted = run_shell("mount " + partition_ + " " + quoted(mount_));
        if (mounted.exit_code != 0) return "mount: " + mounted.output;
        is_mounted_ = true;
        return {};
    }
    ~MountedLoopVolume() {
        if (is_mounted_) run_shell("umount " + quoted(mount_));
        if (!device_.empty()) run_shell("losetup -d " + device_);
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    const fs::path& mount() const { return mount_; }
    const std::string& device() const { return device_; }
    fs::path folder() const { return dir_; }

private:
    // The kernel makes the partition's node when it scans the table; where it
    // does not scan loop devices by itself, partx adds the partition.
    bool wait_for_partition() const {
        for (int i = 0; i < 20; ++i) {
            struct stat st {};
            if (::stat(partition_.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return true;
            if (i == 5) run_shell("partx -a " + device_);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    std::string dir_;
    std::string device_;
    std::string partition_;
    fs::path mount_;
    bool is_mounted_ = false;
};

class FileCommandLoop : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = volume_.set_up();
        if (missing.empty()) return;
        const char* ci = std::getenv("CI");
        if (ci && std::string(ci) == "true") FAIL() << missing;
        GTEST_SKIP() << missing;
    }

    // The program's name of the loop device's drive, from its own listing.
    std::string drive() const {
        tb::test::ShellResult list = run_shell(std::string(TAMBLOR_BINARY) + " --linux --list");
        std::smatch m;
        const std::regex line("(PHYSICALDRIVE[0-9]+)[^\\n]*\\(" + volume_.device() + "\\)");
        if (!std::regex_search(list.output, m, line)) return {};
        return "\\\\.\\" + m[1].str();
    }

    // Runs `script` against the loop device's drive on this machine's disks.
    tb::test::ShellResult run(const std::string& script) const {
        const fs::path file = volume_.folder() / "t.scpt";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << script;
        const std::string target = drive();
        EXPECT_FALSE(target.empty()) << volume_.device() << " is not in the program's disk list";
        return run_shell("cd " + quoted(volume_.folder()) + " && TMPDIR=" + quoted(volume_.folder()) + " " +
                         TAMBLOR_BINARY + " --linux SCRIPT:t.scpt '" + target + "' </dev/null");
    }

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
