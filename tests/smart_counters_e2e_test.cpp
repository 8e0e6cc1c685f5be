// End to end: the real binary writes and reads sectors of simulated disks
// through the LBA commands and a performance workload, and the disks' own
// SMART / health counters show every transfer, whichever path it took.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

// Disk 1 an NVMe disk on PCIe, disk 2 one behind a USB bridge, disk 3 a
// SATA disk; none holds a volume, so every one is in RAW mode.
constexpr const char* kMachine = R"INI([machine]
persist = 0
[disk0]
type = sata
model = SMART E2E SYSTEM
serial = SES0
capacity = 8GB
volumes = C
[disk1]
type = nvme
model = SMART E2E NVME
serial = SEN1
capacity = 4GB
pci = 3:0.0
[disk2]
type = usb
bridge = jmicron
model = SMART E2E BRIDGED
serial = SEJ2
capacity = 2GB
usb = 1.1
[disk3]
type = sata
model = SMART E2E SATA
serial = SES3
capacity = 4GB
)INI";

class SmartCountersE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-smart-e2e", kMachine};

    tb::test::ShellResult run(const std::string& script) { return tb::test::run_sim_script(machine_.dir(), script); }
};

// Reads the NVMe SMART / health log into <P>UR (data units read), <P>UW
// (data units written), <P>CR (host read commands), <P>CW (host write commands).
std::string nvme_counters(const std::string& prefix) {
    return "GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:512 );\n"
           "ur = ResultHex( ByteStart:32, Len:8, HexParse:\"Num\" );\n"
           "uw = ResultHex( ByteStart:48, Len:8, HexParse:\"Num\" );\n"
           "cr = ResultHex( ByteStart:64, Len:8, HexParse:\"Num\" );\n"
           "cw = ResultHex( ByteStart:80, Len:8, HexParse:\"Num\" );\n"
           "Print( Output:\"" + prefix + "UR=\" + ur + \" " + prefix + "UW=\" + uw + \" " + prefix +
           "CR=\" + cr + \" " + prefix + "CW=\" + cw );\n";
}

// Reads the ATA SMART attributes "total LBAs written" (0xF1, the 12th
// attribute) and "total LBAs read" (0xF2, the 13th) into <P>W and <P>R.
std::string ata_counters(const std::string& prefix) {
    return "ATA( IO:\"IN\", ATACmd:0xB0, Feature:0xD0, SectorCount:1, Low:0, Mid:0x4F, High:0xC2, ExLow:0, "
           "ExMid:0, ExHigh:0 );\n"
           "id = ResultHex( ByteStart:134, Len:1, HexParse:\"Num\" );\n"
           "w = ResultHex( ByteStart:139, Len:4, HexParse:\"Num\" );\n"
           "r = ResultHex( ByteStart:151, Len:4, HexParse:\"Num\" );\n"
           "Print( Output:\"" + prefix + "ID=\" + id + \" " + prefix + "W=\" + w + \" " + prefix + "R=\" + r );\n";
}

TEST_F(SmartCountersE2E, NvmeHealthLogCountsLbaCommandsAndWorkloads) {
    // 2,000 sectors written and 1,000 read by the LBA commands, then 8 MiB
    // in 64 writes of 128 KiB by the workload.
    tb::test::ShellResult r = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n" + nvme_counters("A") +
        "LBAWrite( LBA:0, SectorCount:2000, WritePattern:0x11223344, MarkSectorHeader:FALSE );\n" +
        "LBARead( LBA:0, SectorCount:1000 );\n" + nvme_counters("B") +
        "Performance_SeqWrite( LBA:0, RangeLenMB:8, AccessKB:128, QD:4, LimitCycle:1 );\n" + nvme_counters("C"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = tb::test::printed_values(r.output);
    ASSERT_TRUE(v.count("AUW") && v.count("BUW") && v.count("CUW")) << r.output;
    // A fresh disk: nothing written yet; reads may have come from discovery.
    EXPECT_EQ(v["AUW"], 0);
    EXPECT_EQ(v["ACW"], 0);
    // Data units are thousands of 512-byte units, rounded up.
    EXPECT_EQ(v["BUW"], 2);
    EXPECT_EQ(v["BCW"], 1);
    EXPECT_EQ(v["BCR"] - v["ACR"], 1);
    EXPECT_GE(v["BUR"] - v["AUR"], 1);
    EXPECT_EQ(v["CUW"], (2000 + 16384 + 999) / 1000);
    EXPECT_EQ(v["CCW"], 1 + 64);
    EXPECT_EQ(v["CCR"], v["BCR"]);
}

TEST_F(SmartCountersE2E, BridgedNvmeDiskCountsLbaWrites) {
    tb::test::ShellResult r = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE2\" );\n" + nvme_counters("A") +
        "LBAWrite( LBA:100, SectorCount:1500, WritePattern:0x5A5A5A5A, MarkSectorHeader:TRUE );\n" +
        nvme_counters("B"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = tb::test::printed_values(r.output);
    ASSERT_TRUE(v.count("AUW") && v.count("BUW")) << r.output;
    EXPECT_EQ(v["AUW"], 0);
    EXPECT_EQ(v["BUW"], 2);
    EXPECT_EQ(v["BCW"] - v["ACW"], 1);
}

TEST_F(SmartCountersE2E, AtaSmartAttributesCountLbaCommandsAndWorkloads) {
    // The attributes count in 32 MiB units: 64 MiB written by the workload,
    // 32 MiB read by one LBARead.
    tb::test::ShellResult r = run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE3\" );\n" + ata_counters("A") +
        "Performance_SeqWrite( LBA:0, RangeLenMB:64, AccessKB:1024, QD:4, LimitCycle:1 );\n" +
        "LBARead( LBA:0, SectorCount:65536 );\n" + ata_counters("B"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = tb::test::printed_values(r.output);
    ASSERT_TRUE(v.count("AW") && v.count("BW")) << r.output;
    EXPECT_EQ(v["AID"], 0xF1);
    EXPECT_EQ(v["BW"] - v["AW"], 2);
    EXPECT_EQ(v["BR"] - v["AR"], 1);
}

}  // namespace
