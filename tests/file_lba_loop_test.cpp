// GetFileLBA on this machine's own file systems through the Linux backend: a
// loop device with a GPT partition (so the partition's start from sysfs
// counts), formatted ext4 and mounted, holding files written to break into
// extents and a file with a hole; every row of the command's table must be
// an extent filefrag -v gives. Needs root, util-linux, e2fsprogs: skipped
// without them, failed instead under CI=true.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>
#include <vector>

#include "tests/loop_device.h"
#include "tests/ntfs_tool_output.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

using tb::test::run_shell;
using tb::test::shell_quoted_path;

class FileLbaLoop : public ::testing::Test {
protected:
    void SetUp() override {
        // The partition 2 MiB in.
        const std::string missing =
            volume_.set_up({"tamblor-file-lba-loop", "label: gpt\\nstart=4096\\n", {"filefrag"}});
        if (!missing.empty()) tb::test::skip_or_fail_for(missing);
    }

    // Two files appended to in turns, each piece synced, so that they interleave on the disk.
    void write_interleaved(const std::string& a, const std::string& b, int pieces) {
        for (int i = 0; i < pieces; ++i)
            for (const std::string& name : {a, b})
                run_shell("head -c 65536 /dev/urandom >> " + shell_quoted_path(volume_.mount() / name) + " && sync " + shell_quoted_path(volume_.mount() / name));
    }

    // Runs `script` against the loop device's drive on this machine's disks.
    tb::test::ShellResult run(const std::string& script) const { return volume_.run_script(script); }

    // filefrag -v's extents of a file as table rows (LBAs of 512 bytes on the disk).
    std::vector<tb::test::MapRow> filefrag_rows(const std::string& name) const {
        const tb::test::ShellResult r = run_shell("filefrag -v " + shell_quoted_path(volume_.mount() / name));
        std::smatch m;
        uint64_t block = 4096;
        if (std::regex_search(r.output, m, std::regex("blocks of ([0-9]+) bytes"))) block = std::stoull(m[1].str());
        std::ifstream start_file("/sys/class/block/" + volume_.partition().substr(5) + "/start");
        uint64_t start = 0;
        start_file >> start;
        std::vector<tb::test::MapRow> out;
        const std::regex row("^ *[0-9]+: +([0-9]+)\\.\\. *[0-9]+: +([0-9]+)\\.\\. *[0-9]+: +([0-9]+):");
        for (const std::string& line : tb::test::output_lines(r.output))
            if (std::regex_search(line, m, row))
                out.push_back({std::stoull(m[1].str()) * block, start + std::stoull(m[2].str()) * block / 512,
                               std::stoull(m[3].str()) * block});
        return out;
    }

    tb::test::MountedLoopVolume volume_;
};

TEST_F(FileLbaLoop, GetFileLbaOnExt4AgreesWithFilefrag) {
    const std::vector<std::string> files = {"one.bin", "x.bin", "y.bin", "holed.bin"};
    run_shell("head -c 3000000 /dev/urandom > " + shell_quoted_path(volume_.mount() / "one.bin"));
    write_interleaved("x.bin", "y.bin", 12);
    // A file with a hole: 256 KiB, 1 MiB of nothing, 256 KiB.
    run_shell("head -c 262144 /dev/urandom > " + shell_quoted_path(volume_.mount() / "holed.bin") + " && head -c 262144 /dev/urandom | dd of=" +
              shell_quoted_path(volume_.mount() / "holed.bin") + " bs=4096 seek=320 conv=notrunc status=none");
    run_shell("sync");
    // The byte at 1 MiB + 5 of one.bin, then every file's table.
    std::string script = "a = GetFileLBA( File:\"one.bin\", ByteOffset:1048581 );\nPrint( Output:\"LBA_OF_BYTE=\" + a );\n";
    for (const std::string& f : files) script += "Print( Output:\"MAP " + f + "\" );\nGetFileLBA( File:\"" + f + "\" );\n";
    tb::test::ShellResult r = run(script);
    ASSERT_EQ(r.exit_code, 0) << r.output.substr(0, 4000);
    const auto tables = tb::test::map_tables(r.output);
    ASSERT_EQ(tables.size(), files.size()) << r.output.substr(0, 4000);
    size_t agreed = 0, extents = 0, fragmented = 0;
    for (const auto& [name, rows] : tables) {
        const std::vector<tb::test::MapRow> expected = filefrag_rows(name);
        EXPECT_EQ(rows, expected) << name;
        agreed += rows == expected;
        extents += expected.size();
        fragmented += expected.size() > 1;
    }
    EXPECT_GT(fragmented, 1u);
    const auto one = filefrag_rows("one.bin");
    uint64_t lba = 0;
    for (const auto& row : one)
        if (1048581 >= row.file_offset && 1048581 < row.file_offset + row.length) lba = row.lba + (1048581 - row.file_offset) / 512;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m, std::regex("LBA_OF_BYTE=0x([0-9A-F]+)")));
    EXPECT_EQ(std::stoull(m[1].str(), nullptr, 16), lba);
    std::cout << "[ figures  ] GetFileLBA agreed with filefrag -v on " << agreed << " of " << tables.size()
              << " ext4 files (" << extents << " extents)\n";
}

}  // namespace
