// End-to-end disk access: the real binary runs scripts on a simulated machine
// holding an NVMe disk, a SATA disk and one disk behind every kind of USB
// bridge; the console output, the job log, the data files and the exit codes
// are checked.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/system_settings.h"
#include "tests/e2e_support.h"
#include "tests/scoped_environment.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

using RunResult = tb::test::ShellResult;

using tb::test::read_file;

constexpr const char* kMachine = R"INI([machine]
persist = 0
[disk0]
type = sata
model = E2E SATA SYSTEM
serial = E2ES0
firmware = SA0
capacity = 8GB
volumes = C
[disk1]
type = nvme
model = E2E NVME DIRECT
serial = E2EN1
firmware = NV1
capacity = 4GB
pci = 3:0.0
[disk2]
type = usb
bridge = jmicron
model = E2E NVME JMICRON
serial = E2EJ2
capacity = 2GB
usb = 1.1
[disk3]
type = usb
bridge = asm2362
model = E2E NVME ASM2362
serial = E2EA3
capacity = 2GB
usb = 1.2
[disk4]
type = usb
bridge = asm2364
model = E2E NVME ASM2364
serial = E2EA4
capacity = 2GB
usb = 1.3
[disk5]
type = usb
bridge = rtl9210b
model = E2E NVME RTL9210B
serial = E2ER5
capacity = 2GB
usb = 1.4
[disk6]
type = usb
bridge = rtl9210
model = E2E NVME RTL9210
serial = E2ER6
capacity = 2GB
usb = 1.5
[disk7]
type = usb
bridge = usb-sata
model = E2E SATA USB
serial = E2EU7
capacity = 2GB
usb = 1.6
)INI";

// A scratch folder with the machine description; removed at the end.
class DiskAccessE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-disk-e2e", kMachine};
    const fs::path dir_ = machine_.dir();

    RunResult run(const std::string& script) {
        RunResult r = tb::test::run_sim_script(dir_, script);
        const std::string folder = tb::test::log_folder_of(r.output);
        if (!folder.empty()) log_ = folder;
        return r;
    }

    // The data files the run wrote, in name order.
    std::vector<fs::path> hex_files() const { return tb::test::files_ending(log_, ".Hex"); }
    std::string job_log() const { return read_file(fs::path(log_) / "TestLog.htm"); }

    std::string log_;
};

TEST_F(DiskAccessE2E, ListsAndIdentifiesThroughEveryBridge) {
    RunResult r = run(
        "DiskList();\n"
        "i = 1;\n"
        "While( i < 6 ){\n"
        "  ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE\" + i );\n"
        "  NVMe( IO:\"IN\", DataLenByte:4096, OpCode:0x06, NSID:0, CDW10:0x01, ResultHex:\"24:40:Str|4:20:Str\" );\n"
        "  Print( Output:\"MODEL=\" + ResultHex0 + \"/SERIAL=\" + ResultHex1 );\n"
        "  GetFeature( FeatureId:0x06 );\n"
        "  i++;\n"
        "}\n"
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE6\" );\n"
        "GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:512 );\n"
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE7\" );\n"
        "ATA( IO:\"IN\", ATACmd:0xEC, Feature:0, SectorCount:1, Low:0, Mid:0, High:0, ExLow:0, ExMid:0, ExHigh:0 );\n"
        "m = ResultHex( ByteStart:54, Len:8, HexParse:\"Str\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    // The listing names each disk's access path.
    for (const char* kind : {"PCIE-03:00.0", "NVM", "JMI", "ASM2362", "ASM2364", "RTL9210B", "RTL9210", "USBATA"})
        EXPECT_NE(r.output.find(kind), std::string::npos) << kind;
    // Identify Controller reached every NVMe disk through its own protocol.
    // (the text items keep the fields' trailing blanks).
    for (const char* model : {"DIRECT", "JMICRON", "ASM2362", "ASM2364", "RTL9210B"})
        EXPECT_NE(r.output.find(std::string("MODEL=E2E NVME ") + model + " "), std::string::npos) << model;
    for (const char* serial : {"E2EN1", "E2EJ2", "E2EA3", "E2EA4", "E2ER5"})
        EXPECT_NE(r.output.find(std::string("/SERIAL=") + serial), std::string::npos) << serial;
    EXPECT_NE(r.output.find("Feature Value  : 0x00000001"), std::string::npos) << "write cache feature";
    // The IDENTIFY DEVICE model words hold their two characters swapped.
    EXPECT_NE(r.output.find("ResultHex        : 2E EASAT"), std::string::npos);

    // Every IN command left its data file: 5 Identify, 1 log page, 1 IDENTIFY DEVICE.
    std::vector<fs::path> files = hex_files();
    ASSERT_EQ(files.size(), 7u);
    std::string first = read_file(files[0]);
    ASSERT_EQ(first.size(), 4096u);
    EXPECT_EQ(first.substr(24, 15), "E2E NVME DIRECT");
    EXPECT_EQ(read_file(files[5]).size(), 512u);
    EXPECT_EQ(read_file(files[6]).size(), 512u);
    EXPECT_NE(job_log().find("NVMe(IO:"), std::string::npos);
}

TEST_F(DiskAccessE2E, IdentifyReportsEveryDiskWhateverItsPath) {
    RunResult r = run(
        "i = 0;\n"
        "While( i < 8 ){\n"
        "  ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE\" + i );\n"
        "  id[] = Identify( Items:\"MN|SN\" );\n"
        "  Print( Output:\"ID\" + i + \" \" + id[0] + \"/\" + id[1] );\n"
        "  i++;\n"
        "}\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const char* expected[] = {"ID0 E2E SATA SYSTEM/E2ES0",   "ID1 E2E NVME DIRECT/E2EN1",
                              "ID2 E2E NVME JMICRON/E2EJ2",  "ID3 E2E NVME ASM2362/E2EA3",
                              "ID4 E2E NVME ASM2364/E2EA4",  "ID5 E2E NVME RTL9210B/E2ER5",
                              "ID6 E2E NVME RTL9210/E2ER6",  "ID7 E2E SATA USB/E2EU7"};
    for (const char* line : expected) EXPECT_NE(r.output.find(line), std::string::npos) << line;
}

TEST_F(DiskAccessE2E, AtaWritesAreReadBackOnDirectAndBridgedDisks) {
    RunResult r = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE7\" );\n"
        "ATAWrite( LBA:100, SectorCount:2, WritePattern:0x12345678, MarkSectorHeader:FALSE, ATA_WMode:\"PIO\" );\n"
        "ATARead( LBA:101, SectorCount:1, ATA_RMode:\"PIO\" );\n"
        "a = ResultHex( ByteStart:0, Len:4, HexParse:\"Num\" );\n"
        "ATAWrite( LBA:0x10000005, SectorCount:2, WritePattern:0xA5A5A5A5, MarkSectorHeader:TRUE, ATA_WMode:\"DMA\" );\n"
        "ATARead( LBA:0x10000006, SectorCount:1, ATA_RMode:\"DMA\" );\n"
        "b = ResultHex( ByteStart:4, Len:4, HexParse:\"Num\" );\n"
        "Print( Output:\"A=\" + a + \"/B=\" + b );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    // The pattern is stored most significant byte first.
    EXPECT_NE(r.output.find("A=2018915346/"), std::string::npos) << r.output;  // bytes 12 34 56 78 read as LE
    // With the header mark the sector's own LBA opens it, most significant
    // byte first (the 48-bit path): 00 00 00 00 10 00 00 06.
    EXPECT_NE(r.output.find("/B=100663312"), std::string::npos) << r.output;

    std::vector<fs::path> files = hex_files();
    ASSERT_EQ(files.size(), 4u);  // write, read, write, read
    std::string written = read_file(files[0]);
    ASSERT_EQ(written.size(), 1024u);
    EXPECT_EQ(written.substr(512, 4), std::string("\x12\x34\x56\x78", 4));
    EXPECT_EQ(read_file(files[1]), written.substr(512));
    EXPECT_EQ(read_file(files[3]).substr(0, 12), std::string("\0\0\0\0\x10\0\0\x06\xA5\xA5\xA5\xA5", 12));
}

TEST_F(DiskAccessE2E, AtaWriteRefusesADiskWithVolumes) {
    // Disk 0 carries C:.
    RunResult r = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\n"
        "ATAWrite( LBA:100, SectorCount:1, WritePattern:0x1, MarkSectorHeader:FALSE, ATA_WMode:\"PIO\" );\n");
    EXPECT_NE(r.output.find("Use ChangeDisk() or Partition_Delete() then try again."), std::string::npos) << r.output;
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-20));  // -20
}

TEST_F(DiskAccessE2E, UpdateFwDownloadsCommitsAndWaitsForTheDisk) {
    std::string image(10000, '\x5A');
    image.replace(100, 15, "FWREV:NV9.9.99 ");
    std::ofstream(dir_ / "fw.bin", std::ios::binary) << image;
    RunResult r = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n"
        "UpdateFW( File:\"fw.bin\", Slot:2, Commit:3, AutoReset:TRUE, ExtDelay:0 );\n"
        "NVMe( IO:\"IN\", DataLenByte:4096, OpCode:0x06, NSID:0, CDW10:0x01, ResultHex:\"64:8:Str\" );\n"
        "Print( Output:\"FR=\" + ResultHex0 );\n"
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE3\" );\n"
        "UpdateFW( File:\"fw.bin\", Slot:1, Commit:255 );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("FW File : "), std::string::npos);
    EXPECT_NE(r.output.find("Progress: 100%"), std::string::npos);
    EXPECT_NE(r.output.find("Commit Action: 3"), std::string::npos);
    EXPECT_NE(r.output.find("Find Disk : \\\\.\\PHYSICALDRIVE1"), std::string::npos);
    EXPECT_NE(r.output.find("FR=NV9.9.99"), std::string::npos) << r.output;
    // Download only: no commit and no wait on the second disk.
    size_t second = r.output.find("PHYSICALDRIVE3");
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(r.output.find("No Commit", second), std::string::npos);
    EXPECT_EQ(r.output.find("Wait Disk", second), std::string::npos);
}

TEST_F(DiskAccessE2E, BadRequestsFailWithTheirCodes) {
    RunResult bad_io = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n"
        "NVMe( IO:\"SIDEWAYS\", DataLenByte:512, OpCode:0x06 );\n");
    EXPECT_NE(bad_io.output.find("IO Parameter Error"), std::string::npos) << bad_io.output;
    EXPECT_EQ(bad_io.exit_code, tb::test::script_exit(-2));  // -2

    RunResult no_disk = run("ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE42\" );\n");
    EXPECT_NE(no_disk.output.find("Cannot find"), std::string::npos) << no_disk.output;
    EXPECT_EQ(no_disk.exit_code, tb::test::script_exit(-1));  // -1

    // An NVMe command on an ATA disk is not a command there.
    RunResult wrong_family = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE7\" );\n"
        "NVMe( IO:\"IN\", DataLenByte:4096, OpCode:0x06, CDW10:1 );\n");
    EXPECT_EQ(wrong_family.exit_code, tb::test::script_exit(-16)) << wrong_family.output;  // -16
}

TEST_F(DiskAccessE2E, PciInfoShowsTheHeaderAndTheLinkRetrainsToTheChosenSpeed) {
    RunResult r = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n"
        "PCIInfo( ExtData:FALSE );\n"
        "SetSystem_PCISpeed( Gen:2 );\n"
        "PCIInfo( ExtData:FALSE );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    for (const char* line : {"Port ID        : PCIE-03:00.0", "VendorID       : 1F9A", "SubsystemVID   : 1F9A",
                             "ClassCode      : 0x010802", "HeaderType     : 0", "BAR0           : 0xFE000004 (MMIO)",
                             "BAR1           : 0x00000000", "Max Support Gen x Lane : 4 x 4"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line;
    size_t before = r.output.find("Current Link Gen x Lane: 4 x 4");
    size_t after = r.output.find("Current Link Gen x Lane: 2 x 4");
    ASSERT_NE(before, std::string::npos) << r.output;
    ASSERT_NE(after, std::string::npos) << r.output;
    EXPECT_LT(before, after);

    // Disks that are not NVMe controllers on the PCI bus have no such space.
    RunResult usb = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE3\" );\n"
        "PCIInfo( ExtData:FALSE );\n");
    EXPECT_NE(usb.output.find("Not PCI Device"), std::string::npos) << usb.output;
    EXPECT_EQ(usb.exit_code, tb::test::script_exit(-79));
}

TEST_F(DiskAccessE2E, HmbPolicyIsKeptInTheSettingsStore) {
    RunResult r = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n"
        "SetSystem_HMB( HmbSet:7 );\n"
        "SetSystem_HMB( HmbSet:255 );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("Now Host HMB Value: 0"), std::string::npos);
    EXPECT_NE(r.output.find("Set Host HMB Value: 2"), std::string::npos);  // values above 2 become 2
    EXPECT_NE(r.output.find("Please Reboot PC for Active HMB Setting."), std::string::npos);
    EXPECT_NE(r.output.find("Now Host HMB Value: 2"), std::string::npos);  // read back, 255 changes nothing
    EXPECT_EQ(r.output.find("Set Host HMB Value", r.output.find("Now Host HMB Value: 2")), std::string::npos);
    // The value is in the store the run was given, read back through it.
    std::vector<std::unique_ptr<tb::test::ScopedVariable>> store;
    for (const auto& [name, value] : tb::test::settings_store_environment(dir_))
        store.push_back(std::make_unique<tb::test::ScopedVariable>(name, value));
    uint32_t policy = 0;
    EXPECT_TRUE(tb::get_system_value("SYSTEM\\CurrentControlSet\\Control\\StorPort", "HmbAllocationPolicy", policy));
    EXPECT_EQ(policy, 2u);
}

TEST_F(DiskAccessE2E, LbaWritesReadBackTrimToZeroAndFlush) {
    RunResult r = run(
        "i = 1;\n"
        "While( i < 8 ){\n"
        "  ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE\" + i );\n"
        "  LBAWrite( LBA:300, SectorCount:4, WritePattern:0xCAFEF00D, MarkSectorHeader:TRUE, FUA:FALSE );\n"
        "  LBARead( LBA:302, SectorCount:1, Times:2 );\n"
        "  m = ResultHex( ByteStart:4, Len:4, HexParse:\"Num\" );\n"
        "  p = ResultHex( ByteStart:8, Len:4, HexParse:\"Num\" );\n"
        "  TRIM( LBA:300, TRIMSectorCount:4 );\n"
        "  LBARead( LBA:302, SectorCount:1 );\n"
        "  z = ResultHex( ByteStart:8, Len:4, HexParse:\"Num\" );\n"
        "  FlushCache();\n"
        "  Print( Output:\"DISK\" + i + \" MARK=\" + m + \" PAT=\" + p + \" AFTER=\" + z );\n"
        "  i++;\n"
        "}\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    // Every kind of disk, bridged or not: the sector mark is the LBA (302,
    // most significant byte first), the pattern follows it, a trim reads as zeros.
    for (int disk = 1; disk < 8; ++disk)
        EXPECT_NE(r.output.find("DISK" + std::to_string(disk) + " MARK=771817472 PAT=233897674 AFTER=0"),
                  std::string::npos)
            << disk << "\n" << r.output;
    EXPECT_NE(r.output.find("Read 2 Times"), std::string::npos);
}

TEST_F(DiskAccessE2E, LbaCommandsRefuseADiskWithVolumesAndReadItsVolume) {
    RunResult w = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\n"
        "LBAWrite( LBA:300, SectorCount:1, WritePattern:0x1, MarkSectorHeader:TRUE );\n");
    EXPECT_NE(w.output.find("Command Only Support RAW Mode"), std::string::npos) << w.output;
    EXPECT_EQ(w.exit_code, tb::test::script_exit(-20)) << w.output;  // -20: nothing written under the file system
    RunResult t = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\n"
        "TRIM( LBA:0, TRIMSectorCount:0 );\n");
    EXPECT_EQ(t.exit_code, tb::test::script_exit(-20)) << t.output;
    // Reading is allowed: the disk and, with VLBA, its volume.
    RunResult rd = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\n"
        "LBARead( LBA:0, SectorCount:8 );\n"
        "LBARead( VLCN:1, SectorCount:1 );\n");
    EXPECT_EQ(rd.exit_code, 0) << rd.output;
    std::vector<fs::path> files = hex_files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(read_file(files[0]).size(), 4096u);
    EXPECT_EQ(read_file(files[1]).size(), 512u);
}

TEST_F(DiskAccessE2E, WholeDiskTrimAndReadsBeyondTheEnd) {
    RunResult r = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE7\" );\n"
        "LBAWrite( LBA:3906000, SectorCount:2, WritePattern:0x77777777, MarkSectorHeader:FALSE );\n"
        "TRIM( LBA:0, TRIMSectorCount:0 );\n"
        "LBARead( LBA:3906000, SectorCount:1 );\n"
        "z = ResultHex( ByteStart:0, Len:4, HexParse:\"Num\" );\n"
        "Print( Output:\"AFTER=\" + z );\n"
        "LBARead( LBA:0x7FFFFFFF, SectorCount:1 );\n");
    EXPECT_NE(r.output.find("AFTER=0"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("CurrentLBA: 0x000000007FFFFFFF"), std::string::npos) << r.output;
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-3)) << r.output;  // -3
}

}  // namespace
