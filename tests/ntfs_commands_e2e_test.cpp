// End to end: GetFileByMftId, GetFileByLBA and GetFileLBA through the real
// binary on a simulated machine whose volume E: is the hand-built NTFS
// volume of tests/ntfs_test_volume.h (1 MiB into its disk, so LBA = VLBA +
// 0x800); the job log, values read back from the result file, the hex
// files and the exit codes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/ntfs_test_volume.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;
namespace nv = tb::test::ntfs_volume;

using tb::test::read_file;

// Disk 0 the system disk; disk 1 carries E: (the NTFS volume); disk 2 is
// raw; disk 3 carries F:, a copy with a broken boot sector.
std::string machine_text(const fs::path& good, const fs::path& broken) {
    return "[machine]\npersist = 0\n"
           "[disk0]\ntype = sata\ncapacity = 64MiB\nvolumes = C\n"
           "[disk1]\ntype = nvme\ncapacity = 64MiB\nvolumes = E\nvolume_image = E:" + good.string() + "\n"
           "[disk2]\ntype = nvme\ncapacity = 64MiB\n"
           "[disk3]\ntype = nvme\ncapacity = 64MiB\nvolumes = F\nvolume_image = F:" + broken.string() + "\n";
}

// The sector of docs\inner.bin holding its byte 5000 carries a mark.
constexpr char kMark[] = "INNER-SECTOR-9";

class NtfsCommandsE2E : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<uint8_t> image = nv::image();
        std::memcpy(image.data() + 300 * nv::kCluster + 4608, kMark, sizeof kMark - 1);
        std::ofstream(dir_ / "ntfs.img", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        image[3] = 'X';
        std::ofstream(dir_ / "broken.img", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        machine_.write_machine(machine_text(dir_ / "ntfs.img", dir_ / "broken.img"));
    }

    tb::test::ShellResult run(const std::string& target, const std::string& script) {
        tb::test::ShellResult r =
            tb::test::run_sim_script(dir_, "ChangeDisk( PhysicalName:\"" + target + "\" );\n" + script);
        log_ = tb::test::log_folder_of(r.output);
        return r;
    }
    static bool has(const tb::test::ShellResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }

    tb::test::SimMachineFolder machine_{"tamblor-ntfs-e2e", "[machine]\n"};
    const fs::path dir_ = machine_.dir();
    std::string log_;
};

TEST_F(NtfsCommandsE2E, GetFileByMftIdPrintsTheRecordWithItsRunsAndIndexRecords) {
    tb::test::ShellResult r = run("\\\\.\\PHYSICALDRIVE1",
                                  "a = GetFileByMftId( MftId:12 );\n"
                                  "b = GetFileByMftId( MftId:11 );\n"
                                  "Print( Output:\"NAMES=\" + a + \",\" + b );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "GetFileByMftId(MftId:12);")) << r.output;
    EXPECT_TRUE(has(r, "## Volume \\\\.\\E: Start: VLBA:0x00000000  (LBA:0x00000800)")) << r.output;
    EXPECT_TRUE(has(r, "## MFTId & VLBA Mapping Table"));
    EXPECT_TRUE(has(r, "       MFTId:0x00000000 - 0x00000007    [VLBA:0x00000020 Sectors:16   ]")) << r.output;
    EXPECT_TRUE(has(r, "       MFTId:0x00000008 - 0x0000000F    [VLBA:0x000000A0 Sectors:16   ]")) << r.output;
    EXPECT_TRUE(has(r, "## MFTid:0x0000000C"));
    EXPECT_TRUE(has(r, "[VLBA:0x000000A8,  Sectors: 2    ] (LBA:0x000008A8)")) << r.output;
    EXPECT_TRUE(has(r, "MFT Signature:FILE"));
    EXPECT_TRUE(has(r, "Attrib:[0x30] (Offset:0x38) $FILE_NAME"));
    EXPECT_TRUE(has(r, "       FileName:inner.bin           , Parent:0x0000000B")) << r.output;
    EXPECT_TRUE(has(r, "Attrib:[0x80] (Offset:0xA8) $DATA"));
    EXPECT_TRUE(has(r, "       Detail of Attrib:[0x80] $DATA"));
    EXPECT_TRUE(has(r, "       RunList FileOffset:0x00000000   LBA:0x00001160   Length:16384        "
                       "(VLBA:0x00000960  VLCN:0x0000012C)"))
        << r.output;
    // The folder: its index allocation's run and the entries of its INDX record.
    EXPECT_TRUE(has(r, "       Detail of Attrib:[0xA0] $INDEX_ALLOCATION"));
    EXPECT_TRUE(has(r, "       RunList VLCN:0x000000C8, Clusters:1      [VLBA:0x00000640, Sectors:8    ] "
                       "(LBA:0x00000E40)"))
        << r.output;
    EXPECT_TRUE(has(r, "       INDX Signature:INDX"));
    EXPECT_TRUE(has(r, "MftId:0x0000000D, FileName:small.txt")) << r.output;
    EXPECT_TRUE(has(r, "NAMES=inner.bin,docs")) << r.output;
}

TEST_F(NtfsCommandsE2E, GetFileByLbaNamesTheOwnerOfARunAndOfAnMftSector) {
    tb::test::ShellResult r =
        run("\\\\.\\PHYSICALDRIVE1",
            "p = GetFileByLBA( LBA:0x999 );\n"
            "area = Result( KeyWord:\"File Area\" );\n"
            "q = GetFileByLBA( LBA:0x8AB );\n"
            "Print( Output:\"P=\" + p + \" AREA=\" + area + \" Q=\" + q );\n"
            "n = GetFileByLBA( LBA:0x1000 );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    // Cluster 51 lies in hello.txt's second run, the one behind its first.
    EXPECT_TRUE(has(r, "Search Target VLBA:0x00000199  (LBA:0x00000999)")) << r.output;
    EXPECT_TRUE(has(r, "Found MftItem in Attribute RunList (MftId:0x0000000A)"));
    EXPECT_TRUE(has(r, "MftId:0x0000000A     ParentMftId:0x00000005"));
    EXPECT_TRUE(has(r, "Found LBA:0x00000999 in Path: E:\\hello.txt"));
    EXPECT_TRUE(has(r, "File Area: $DATA Area"));
    // Sector 3 of the $MFT's second run: record 13.
    EXPECT_TRUE(has(r, "Found MftItem (MftId:0x0000000D)")) << r.output;
    EXPECT_TRUE(has(r, "Found LBA:0x000008AB in Path: E:\\docs\\small.txt")) << r.output;
    EXPECT_TRUE(has(r, "File Area: MFT Node Area"));
    EXPECT_TRUE(has(r, "P=E:\\hello.txt AREA=$DATA Area Q=E:\\docs\\small.txt")) << r.output;
    EXPECT_TRUE(has(r, "No File be found.")) << r.output;
}

TEST_F(NtfsCommandsE2E, GetFileLbaMapsAByteToItsSectorAndShowsIt) {
    tb::test::ShellResult r = run("\\\\.\\PHYSICALDRIVE1",
                                  "a = GetFileLBA( File:\"E:\\docs\\inner.bin\", ByteOffset:5000 );\n"
                                  "b = GetFileLBA( File:\"hello.txt\", ByteOffset:13000, NtfsTrace:TRUE );\n"
                                  "c = GetFileLBA( File:\"docs\\small.txt\" );\n"
                                  "Print( Output:\"A=\" + a + \" B=\" + b + \" C=\" + c );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "Index       : ByteOffset         | LBA                | Lenth(Byte)"));
    EXPECT_TRUE(has(r, "Area00      : 0x00000000         | 0x00001160         | 16384")) << r.output;
    EXPECT_TRUE(has(r, "FileOffset mapping to LBA : 0x00001169   (Byte Index: 0x188 )")) << r.output;
    EXPECT_TRUE(has(r, "Mapping Drv : \\\\.\\PHYSICALDRIVE1, LBARead( LBA:0x1169, SectorCount:1 )")) << r.output;
    // Two runs, the second before the first on the disk.
    EXPECT_TRUE(has(r, "Area01      : 0x00003000         | 0x00000990         | 8192")) << r.output;
    EXPECT_TRUE(has(r, "FileOffset mapping to LBA : 0x00000991   (Byte Index: 0xC8 )")) << r.output;
    EXPECT_TRUE(has(r, "## Target MftInfo: \\\\."));
    EXPECT_TRUE(has(r, "Search Next: hello.txt"));
    EXPECT_TRUE(has(r, "        Ref MftId:0x0000000A")) << r.output;
    EXPECT_TRUE(has(r, "       RunList FileOffset:0x00003000   LBA:0x00000990")) << r.output;
    EXPECT_TRUE(has(r, "No Any Block Found, Maybe File Size Small or Locked by System")) << r.output;
    EXPECT_TRUE(has(r, "A=0x1169 B=0x991 C=0x0")) << r.output;
    // The sector holding byte 5000, saved and shown.
    bool marked = false;
    for (const fs::path& f : tb::test::files_ending(log_, ".Hex")) {
        const std::string data = read_file(f);
        if (data.size() == 512 && data.compare(0, sizeof kMark - 1, kMark) == 0) marked = true;
    }
    EXPECT_TRUE(marked);
}

TEST_F(NtfsCommandsE2E, AnOffsetPastTheFileAndAMissingFileAreErrors) {
    tb::test::ShellResult r = run("\\\\.\\PHYSICALDRIVE1", "GetFileLBA( File:\"E:\\hello.txt\", ByteOffset:20380 );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << r.output;
    EXPECT_TRUE(has(r, "File ByteOffset Over FileSize")) << r.output;
    r = run("\\\\.\\PHYSICALDRIVE1", "GetFileLBA( File:\"E:\\nothing.bin\" );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-11)) << r.output;
}

TEST_F(NtfsCommandsE2E, TheNtfsCommandsRefuseARawDisk) {
    for (const char* call : {"GetFileByLBA( LBA:0 );", "GetFileByMftId( MftId:0 );", "GetFileLBA( File:\"a.bin\" );"}) {
        tb::test::ShellResult r = run("\\\\.\\PHYSICALDRIVE2", std::string(call) + "\n");
        EXPECT_EQ(r.exit_code, tb::test::script_exit(-24)) << call << r.output;
        EXPECT_TRUE(has(r, "Only Support Partition Mode")) << call;
    }
}

TEST_F(NtfsCommandsE2E, AnLbaOutsideTheVolumeAndABrokenBootSectorEndTheCommand) {
    tb::test::ShellResult r = run("\\\\.\\PHYSICALDRIVE1", "GetFileByLBA( LBA:0x100 );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << r.output;
    EXPECT_TRUE(has(r, "LBA Out of Partition Range")) << r.output;
    r = run("\\\\.\\PHYSICALDRIVE3", "GetFileByMftId( MftId:5 );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-90)) << r.output;
    EXPECT_TRUE(has(r, "NTFS Signature Error")) << r.output;
}

}  // namespace
