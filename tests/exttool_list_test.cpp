// The external tools of ExtCmd.ini and what their runs read back: which
// sections become commands (bad input among them), the placeholders, the
// bounded reading of result files and the refusal of a download archive
// that names entries outside its folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/zip_archive.h"
#include "common/ini_file.h"
#include "exttools/bounded_text.h"
#include "exttools/tool_list.h"
#include "exttools/tool_install.h"
#include "exttools/tool_placeholders.h"
#include "exttools/tool_results.h"
#include "tests/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class ExtToolList : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir() / "Tools");
        write("Tools/bench.exe", "program");
        write("Tools/info.exe", "program");
    }
    const fs::path& dir() const { return folder_.dir(); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(dir() / name, std::ios::binary) << text;
    }
    std::vector<tb::ToolSection> read(const std::string& ini_text) const {
        tb::IniFile ini;
        ini.parse(ini_text);
        return tb::read_tool_sections(ini, dir().string());
    }
    tb::test::TempFolder folder_{"tamblor-exttool"};
};

TEST_F(ExtToolList, SectionsWithAProgramBecomeToolsWithTheirValues) {
    auto tools = read("; benchmarks\n[Bench]\nEXE_PATH =  Tools\\bench.exe  \nPARAMETER= -d %Disk% \n"
                      "SUPPORTMODE= raw \nAPP_CHKEXIST=Tools\\bench.exe\nAPP_DOWNLOAD=/pub/bench.zip#setup.sh -q\n"
                      "[Info]\nEXE_PATH=" + (dir() / "Tools" / "info.exe").string() + "\n");
    ASSERT_EQ(tools.size(), 2u);
    EXPECT_EQ(tools[0].name, "Bench");
    EXPECT_TRUE(fs::equivalent(tools[0].program, dir() / "Tools" / "bench.exe"));
    EXPECT_EQ(tools[0].parameter, "-d %Disk%");
    EXPECT_EQ(tools[0].mode, tb::ToolDiskMode::Raw);
    EXPECT_EQ(tools[0].download, "/pub/bench.zip#setup.sh -q");
    EXPECT_EQ(tools[1].name, "Info");
    EXPECT_EQ(tools[1].mode, tb::ToolDiskMode::All);
    EXPECT_TRUE(tb::tool_installed(tools[1]));
}

TEST_F(ExtToolList, BadSectionsGiveNoCommand) {
    const std::string long_path(300, 'p');
    const std::string long_name(56, 'N');
    auto tools = read("[NoExePath]\nPARAMETER=-x\n"
                      "[Absent]\nEXE_PATH=Tools\\missing.exe\n"
                      "[AFolder]\nEXE_PATH=Tools\n"
                      "[LongPath]\nEXE_PATH=" + long_path + "\n"
                      "[LongParam]\nEXE_PATH=Tools\\bench.exe\nPARAMETER=" + std::string(2000, 'x') + "\n"
                      "[" + long_name + "]\nEXE_PATH=Tools\\bench.exe\n"
                      "[Bad Name]\nEXE_PATH=Tools\\bench.exe\n"
                      "[UnknownMode]\nEXE_PATH=Tools\\bench.exe\nSUPPORTMODE=RAWW\n"
                      "[Good]\nEXE_PATH=Tools\\bench.exe\n"
                      "[good]\nEXE_PATH=Tools\\info.exe\n");
    ASSERT_EQ(tools.size(), 1u);
    EXPECT_EQ(tools[0].name, "Good");
    EXPECT_TRUE(fs::equivalent(tools[0].program, dir() / "Tools" / "bench.exe"));
    EXPECT_TRUE(tb::usable_tool_name(std::string(55, 'N')));
    EXPECT_FALSE(tb::usable_tool_name(long_name));
}

TEST_F(ExtToolList, AnEmptyOrMissingFileGivesNoTools) {
    EXPECT_TRUE(read("").empty());
    tb::IniFile ini;
    EXPECT_FALSE(ini.load((dir() / "absent.ini").string()));
    EXPECT_TRUE(tb::read_tool_sections(ini, dir().string()).empty());
}

TEST(ExtToolPlaceholders, KnownNamesAreReplacedEverywhereOthersStay) {
    tb::PlaceholderValues v;
    v.disk = "/dev/nvme0n1";
    v.disk_id = "3";
    v.x_volume = "CF";
    v.cdi_id = "1";
    v.scpdir = "/s";
    v.output = "/log/R0000000012";
    EXPECT_EQ(tb::fill_placeholders("-d %Disk% -i %DiskId% -x %xVolume% -c %CdiId% -s %Scpdir% -o %Output% %Disk%", v),
              "-d /dev/nvme0n1 -i 3 -x CF -c 1 -s /s -o /log/R0000000012 /dev/nvme0n1");
    // Unknown names, other letter cases and lone percent signs stay as written.
    EXPECT_EQ(tb::fill_placeholders("%disk% %Unknown% 100% %% %Disk", v), "%disk% %Unknown% 100% %% %Disk");
    // A value is not read again for placeholders.
    v.disk = "%Output%";
    EXPECT_EQ(tb::fill_placeholders("%Disk%", v), "%Output%");
}

class ExtToolResultFiles : public ExtToolList {};

TEST_F(ExtToolResultFiles, HugeBinaryAndLongFilesAreReadWithinBounds) {
    {
        std::ofstream many(dir() / "many.txt", std::ios::binary);
        for (int i = 0; i < 100000; ++i) many << "line " << i << "\r\n";
        std::ofstream huge(dir() / "huge.txt", std::ios::binary);
        huge << std::string(20u << 20, 'x');  // one line of 20 MiB
        std::ofstream binary(dir() / "binary.txt", std::ios::binary);
        binary << std::string("ab\0cd\n", 6);
    }
    const auto start = std::chrono::steady_clock::now();
    const tb::BoundedText many = tb::read_bounded_text((dir() / "many.txt").string());
    const tb::BoundedText huge = tb::read_bounded_text((dir() / "huge.txt").string());
    const tb::BoundedText binary = tb::read_bounded_text((dir() / "binary.txt").string());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(many.lines.size(), tb::TextLimits{}.max_lines);
    EXPECT_TRUE(many.cut);
    EXPECT_EQ(many.lines[1], "line 1");
    ASSERT_EQ(huge.lines.size(), 1u);
    EXPECT_EQ(huge.lines[0].size(), 256u);
    EXPECT_TRUE(huge.cut);
    EXPECT_TRUE(binary.binary);
    EXPECT_TRUE(binary.lines.empty());
    EXPECT_FALSE(tb::read_bounded_text((dir() / "absent.txt").string()).found);
}

TEST_F(ExtToolResultFiles, UnreadableBytesBecomeQuestionMarksAndUtf16IsRead) {
    EXPECT_EQ(tb::readable_text("a\x01" "b\xff\xfe" "c\xc3\xa9"), "a?b??c\xc3\xa9");
    write("wide.txt", std::string("\xff\xfe" "h\0i\0\r\0\n\0", 10));
    const tb::BoundedText wide = tb::read_bounded_text((dir() / "wide.txt").string());
    ASSERT_EQ(wide.lines.size(), 1u);
    EXPECT_EQ(wide.lines[0], "hi");
}

TEST_F(ExtToolResultFiles, PngHeightComesFromItsHeader) {
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\0\0\0\x02\x58", 24);
    write("p.png", png);
    write("not.png", "GIF89a..................");
    EXPECT_EQ(tb::png_height((dir() / "p.png").string()), 600u);
    EXPECT_EQ(tb::png_height((dir() / "not.png").string()), 0u);
}

TEST_F(ExtToolResultFiles, ADownloadNamingEntriesOutsideItsFolderIsRefusedWhole) {
    fs::create_directories(dir() / "dl");
    for (const char* bad : {"../escaped.sh", "/abs.sh", "sub/../../escaped.sh", "C:\\win.sh"}) {
        tb::ZipWriter zip;
        ASSERT_TRUE(zip.add("first.sh", "#!/bin/sh\n"));
        ASSERT_TRUE(zip.add(bad, "bad"));
        write("dl/pack.zip", zip.finish());
        std::string problem;
        EXPECT_FALSE(tb::unpack_download((dir() / "dl" / "pack.zip").string(), (dir() / "dl").string(), problem))
            << bad;
        EXPECT_NE(problem.find("outside"), std::string::npos) << problem;
        EXPECT_FALSE(fs::exists(dir() / "dl" / "first.sh")) << bad;
        EXPECT_FALSE(fs::exists(dir() / "escaped.sh"));
    }
    tb::ZipWriter good;
    ASSERT_TRUE(good.add("tool/run.sh", "#!/bin/sh\n", tb::kZipDeflated, 0755));
    write("dl/good.zip", good.finish());
    std::string problem;
    EXPECT_TRUE(tb::unpack_download((dir() / "dl" / "good.zip").string(), (dir() / "dl").string(), problem))
        << problem;
    EXPECT_TRUE(fs::exists(dir() / "dl" / "tool" / "run.sh"));
}

}  // namespace
