// End to end on the simulated machine: PartitionInfo before and after
// Partition_Create and Partition_Delete (the table really lies in the disk's
// image, the disk leaves and regains its RAW state, discovery shows the new
// volume), the refusals on the system disk, on a disk whose volumes are in
// use and on a disk that already has partitions, and (where the host has
// mkfs) a partition really formatted inside the image.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e_support.h"

namespace {

constexpr const char* kMachine = R"INI([machine]
persist = 0
[disk0]
type = sata
model = PART E2E SYSTEM
serial = PES0
capacity = 8GB
volumes = C
[disk1]
type = nvme
model = PART E2E NVME
serial = PEN1
capacity = 256MiB
pci = 3:0.0
[disk2]
type = sata
model = PART E2E DATA
serial = PES2
capacity = 1GB
volumes = D
)INI";

std::string change_to(int disk) {
    return "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE" + std::to_string(disk) + "\" );\n";
}

// Prints "<tag>=<value>" of a PartitionInfo keyword.
std::string show(const std::string& tag, const std::string& keyword) {
    return "v = Result( KeyWord:\"" + keyword + "\", ShowResult:FALSE, CovertType:\"String\" );\nPrint( Output:\"" + tag +
           "=\" + v );\n";
}

bool has(const std::string& output, const std::string& text) { return output.find(text) != std::string::npos; }

class PartitionE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-partition-e2e", kMachine};

    auto run(const std::string& script) { return tb::test::run_sim_script(machine_.dir(), script); }

    std::string image_bytes(int disk, uint64_t offset, size_t length) const {
        std::ifstream in(machine_.dir() / "sim" / ("disk" + std::to_string(disk) + ".img"), std::ios::binary);
        std::string out(length, '\0');
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(out.data(), static_cast<std::streamsize>(length));
        return out;
    }
};

TEST_F(PartitionE2E, CreateAndDeleteChangeTheTableAndTheRawState) {
    auto r = run(change_to(1) + "PartitionInfo();\n" + show("STYLE0", "Partition Style") +
                 show("COUNT0", "Partition Count") + "raw = IsRAWDisk();\nPrint( Output:\"RAW0=\" + raw );\n" +
                 "n = Partition_Create( SizeMB:64, FileSystem:\"NONE\", Style:\"MBR\", Letter:\"K\" );\n"
                 "Print( Output:\"MADE=\" + n );\n"
                 "raw = IsRAWDisk();\nPrint( Output:\"RAW1=\" + raw );\n"
                 "PartitionInfo();\n" +
                 show("STYLE1", "Partition Style") + show("COUNT1", "Partition Count") +
                 show("START1", "Partition1 Start LBA") + show("SIZE1", "Partition1 Size MB") +
                 show("TYPE1", "Partition1 Type Code") + show("LETTER1", "Partition1 Drive Letter") +
                 "DiskList( ShowVolumn:TRUE );\n"
                 "Partition_Delete( ConfirmMsg:FALSE );\n"
                 "raw = IsRAWDisk();\nPrint( Output:\"RAW2=\" + raw );\n"
                 "PartitionInfo();\n" +
                 show("STYLE2", "Partition Style") + show("COUNT2", "Partition Count"));
    EXPECT_EQ(r.exit_code, 0) << r.output;
    auto v = tb::test::printed_values(r.output);
    EXPECT_TRUE(has(r.output, "STYLE0=RAW")) << r.output;
    EXPECT_EQ(v["COUNT0"], 0);
    EXPECT_EQ(v["RAW0"], 1);
    EXPECT_EQ(v["MADE"], 1);
    EXPECT_EQ(v["RAW1"], 0);
    EXPECT_TRUE(has(r.output, "STYLE1=MBR")) << r.output;
    EXPECT_EQ(v["COUNT1"], 1);
    EXPECT_EQ(v["START1"], 2048);
    EXPECT_EQ(v["SIZE1"], 64);
    EXPECT_TRUE(has(r.output, "TYPE1=07")) << r.output;
    EXPECT_TRUE(has(r.output, "LETTER1=K:")) << r.output;
    EXPECT_TRUE(has(r.output, "[K:] - 4K Aligned")) << r.output;  // discovery lists the new volume
    EXPECT_EQ(v["RAW2"], 1);
    EXPECT_TRUE(has(r.output, "STYLE2=RAW")) << r.output;
    EXPECT_EQ(v["COUNT2"], 0);
    // Deleting cleared the boot record in the image.
    EXPECT_EQ(image_bytes(1, 510, 2), std::string(2, '\0'));
}

TEST_F(PartitionE2E, TheTableLiesInTheImageAndOutlivesTheRun) {
    auto made = run(change_to(1) + "Partition_Create( FileSystem:\"NONE\" );\n");
    ASSERT_EQ(made.exit_code, 0) << made.output;
    EXPECT_EQ(image_bytes(1, 512, 8), "EFI PART");
    EXPECT_EQ(static_cast<uint8_t>(image_bytes(1, 446 + 4, 1)[0]), 0xEE);

    auto later = run(change_to(1) + "raw = IsRAWDisk();\nPrint( Output:\"RAW=\" + raw );\nPartitionInfo();\n" +
                     show("STYLE", "Partition Style") + show("TYPE", "Partition1 Type") +
                     "Partition_Create( FileSystem:\"NONE\" );\nPrint( Output:\"AFTER\" );\n");
    auto v = tb::test::printed_values(later.output);
    EXPECT_EQ(v["RAW"], 0) << later.output;
    EXPECT_TRUE(has(later.output, "STYLE=GPT")) << later.output;
    EXPECT_TRUE(has(later.output, "TYPE=Microsoft basic data")) << later.output;
    // A second table over the first is refused.
    EXPECT_NE(later.exit_code, 0);
    EXPECT_TRUE(has(later.output, "[Error Code]:  0xFFFFFFEC\n")) << later.output;
    EXPECT_TRUE(has(later.output, "Use ChangeDisk() or Partition_Delete() then try again.")) << later.output;
    EXPECT_FALSE(has(later.output, "AFTER"));
}

TEST_F(PartitionE2E, SystemAndMountedDisksAreRefused) {
    auto r = run("SetErrorSkip( 10 );\n" + change_to(0) + "Partition_Delete( ConfirmMsg:FALSE );\n" +
                 "Partition_Create( FileSystem:\"NONE\" );\n" + change_to(2) + "PartitionInfo();\n" +
                 show("STYLE", "Partition Style") + show("MOUNT", "Partition1 Mount Point") +
                 "Partition_Delete( ConfirmMsg:FALSE );\n" + "Partition_Create( FileSystem:\"NONE\" );\n" +
                 "raw = IsRAWDisk();\nPrint( Output:\"RAW=\" + raw );\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r.output, "[Error Code]:  0xFFFFFFA7\n")) << r.output;  // -89
    EXPECT_TRUE(has(r.output, "[Error Desc]:  Partition C cannot be deleted. \\\\.\\PHYSICALDRIVE0 is the system disk"))
        << r.output;
    EXPECT_TRUE(has(r.output, "[Error Desc]:  Partition Control Error. \\\\.\\PHYSICALDRIVE0 is the system disk"))
        << r.output;
    EXPECT_TRUE(has(r.output, "[Error Desc]:  Partition Control Error. \\\\.\\PHYSICALDRIVE2 is mounted (partition 1 on D:\\)"))
        << r.output;
    EXPECT_TRUE(has(r.output, "STYLE=GPT")) << r.output;
    EXPECT_TRUE(has(r.output, "MOUNT=D:\\")) << r.output;
    EXPECT_TRUE(has(r.output, "-- Error Count: 4 --")) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["RAW"], 0);
    // Nothing was written to either disk.
    EXPECT_EQ(image_bytes(0, 510, 2), std::string(2, '\0'));
    EXPECT_EQ(image_bytes(2, 510, 2), std::string(2, '\0'));
}

TEST_F(PartitionE2E, BadArgumentsAreRefusedBeforeTheDiskIsTouched) {
    for (const char* call : {"Partition_Create( Style:\"APM\" );", "Partition_Create( FileSystem:\"ZFS\" );",
                             "Partition_Create( Letter:\"C\" );", "Partition_Create( SizeMB:-1 );"}) {
        auto r = run(change_to(1) + call + "\n");
        EXPECT_NE(r.exit_code, 0) << call;
        EXPECT_TRUE(has(r.output, "[Error Code]:  0xFFFFFFFE\n")) << call << r.output;
        EXPECT_EQ(image_bytes(1, 510, 2), std::string(2, '\0')) << call;
    }
}

#ifndef _WIN32
// The host's mkfs makes the file system inside the simulated disk's image.
TEST_F(PartitionE2E, FormattedPartitionsCarryTheirFileSystemInTheImage) {
    auto r = run(change_to(1) + "Partition_Create( Label:\"TB\" );\nPartitionInfo();\n" +
                 show("FS1", "Partition1 File System") + "Partition_Delete( ConfirmMsg:FALSE );\n" +
                 "Partition_Create( SizeMB:100, FileSystem:\"EXT4\", Style:\"MBR\" );\nPartitionInfo();\n" +
                 show("FS2", "Partition1 File System") + show("SIZE2", "Partition1 Size MB"));
    EXPECT_EQ(r.exit_code, 0) << r.output;
    const bool ntfs = std::filesystem::exists("/usr/sbin/mkfs.ntfs") || std::filesystem::exists("/sbin/mkfs.ntfs");
    EXPECT_TRUE(has(r.output, ntfs ? "FS1=NTFS" : "FS1=EXT4")) << r.output;
    EXPECT_TRUE(has(r.output, "FS2=EXT4")) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["SIZE2"], 100);
    // The ext4 superblock 1 KiB into the partition (1 MiB into the disk).
    const std::string magic = image_bytes(1, (1u << 20) + 1024 + 56, 2);
    EXPECT_EQ(magic, std::string("\x53\xEF", 2));
}
#endif

}  // namespace
