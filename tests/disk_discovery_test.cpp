// Discovery, classification, port identifiers and target matching against a
// scripted machine.
#include <gtest/gtest.h>

#include <string>

#include "common/text.h"
#include "disk/classification.h"
#include "disk/disk_discovery.h"
#include "disk/disk_identity.h"
#include "disk/port_identifier.h"
#include "disk/target_match.h"
#include "script/app_context.h"
#include "tests/disk_fake.h"

namespace tb {
namespace {

using disk_test::FakeDisk;
using disk_test::FakeMachineGuard;
using disk_test::volume;

DiskRecord record_with(uint8_t protocol, uint32_t location, uint32_t path_id = 0, uint32_t target_lun = 0) {
    DiskRecord r;
    r.access_protocol = protocol;
    r.port_location = location;
    r.scsi_path_id = path_id;
    r.scsi_target_lun = target_lun;
    return r;
}

TEST(DiskNames, ProtocolNamesCoverEveryCode) {
    const std::pair<uint8_t, const char*> expected[] = {
        {0, "-"},         {1, "ATA"},      {2, "USBATA"},    {10, "NVM"},      {11, "OFANVM"},
        {12, "IRSTNVM"},  {13, "JMI"},     {14, "ASM2362"},  {15, "ASM2364"},  {16, "RTL9210B"},
        {17, "RTL9210"},  {20, "RAID"},    {21, "FlashDrv"}, {3, "-"},         {99, "-"},
    };
    for (const auto& [code, text] : expected) EXPECT_EQ(protocol_name(code), text) << int(code);
}

TEST(DiskNames, PortIdentifierFollowsTheProtocol) {
    EXPECT_EQ(port_identifier(record_with(kProtoAta, 0, 2)), "SATA2");
    EXPECT_EQ(port_identifier(record_with(kProtoAta, 0, 1, 101)), "SATA1-101");
    // Root-hub port 3 of host controller 1.
    EXPECT_EQ(usb_port_location({3}, 1), 103u);
    for (uint8_t p : {kProtoUsbAta, kProtoJmi, kProtoAsm2362, kProtoAsm2364, kProtoRtl9210B, kProtoRtl9210,
                      kProtoFlashDrv})
        EXPECT_EQ(port_identifier(record_with(p, 103)), "USB-3") << int(p);
    EXPECT_EQ(port_identifier(record_with(kProtoJmi, 10402)), "USB-2");
    // Bus 2, device 0, function 0.
    EXPECT_EQ(port_identifier(record_with(kProtoNvm, pci_location(2, 0, 0))), "PCIE-02:00.0");
    EXPECT_EQ(port_identifier(record_with(kProtoOfaNvm, pci_location(0x3A, 0x1F, 7))), "PCIE-3A:1F.7");
    EXPECT_EQ(port_identifier(record_with(kProtoIrstNvm, pci_location(1, 2, 3))), "PCIE-01:02.3");
    EXPECT_EQ(port_identifier(record_with(kProtoRaid, 5)), "-");
    EXPECT_EQ(port_identifier(record_with(kProtoNone, 5)), "-");
}

TEST(DiskNames, LocationNumbers) {
    EXPECT_EQ(pci_location(2, 0, 0), 512u);
    EXPECT_EQ(pci_location(0, 33, 9), 8u + 1u);  // device and function wrap
    EXPECT_EQ(parse_location_information("PCI bus 2, device 0, function 0 (2,0,0)"), 512u);
    EXPECT_EQ(parse_location_information("@System32\\drivers\\pci.sys,#65536;PCI bus %1, device %2, function %3;(4,0,1)"),
              4u * 256 + 1);
    EXPECT_EQ(parse_location_information("(1, 2, 3)  "), 256u + 16 + 3);
    EXPECT_EQ(parse_location_information("Port_#0003.Hub_#0001"), 0u);
    EXPECT_EQ(parse_location_information("(2,0)"), 0u);
    EXPECT_EQ(parse_location_information("(2,0,0) trailing"), 0u);
    EXPECT_EQ(parse_location_information("(a,0,0)"), 0u);
    EXPECT_EQ(parse_location_information(""), 0u);
    // Controller 1, hub port 4, device port 2.
    EXPECT_EQ(usb_port_location({2, 4}, 1), 10402u);
    EXPECT_EQ(usb_port_location({}, 2), 2u);
}

TEST(DiskClassification, BusServiceAndBridge) {
    EXPECT_EQ(protocol_from_bus(kBusSata), kProtoAta);
    EXPECT_EQ(protocol_from_bus(kBusSas), kProtoUsbAta);
    EXPECT_EQ(protocol_from_bus(kBusNvme), kProtoOfaNvm);
    EXPECT_EQ(protocol_from_bus(kBusUsb), kProtoFlashDrv);
    EXPECT_EQ(protocol_from_bus(kBusScsi), kProtoNone);

    FakeMachineGuard fake;
    DiskRecord r;
    r.bus_type = kBusNvme;
    r.controller_service = "StorNVMe";
    r.controller_name = "Some controller";
    EXPECT_EQ(classify_disk(r, false), kProtoNvm);
    EXPECT_EQ(r.controller_name, "Standard NVM Express Controller");
    r.controller_service = "nvme";  // the Linux driver of the same role
    EXPECT_EQ(classify_disk(r, false), kProtoNvm);
    r.controller_service = "iaStorAC";
    EXPECT_EQ(classify_disk(r, false), kProtoIrstNvm);
    r.bus_type = kBusRaid;
    EXPECT_EQ(classify_disk(r, false), kProtoIrstNvm);
    r.bus_type = kBusSata;  // the RST driver on a SATA disk keeps the ATA path
    EXPECT_EQ(classify_disk(r, false), kProtoAta);
    r.controller_service = "secnvme";
    r.bus_type = kBusNvme;
    EXPECT_EQ(classify_disk(r, false), kProtoOfaNvm);

    // USB: the bridge's INQUIRY names a SATA bridge.
    fake.add(disk_test::usb_sata_disk(4, "Crucial CT500", 103));
    DiskRecord usb = build_disk_record(fake.disk(0).info);
    EXPECT_EQ(usb.access_protocol, kProtoUsbAta);
    EXPECT_EQ(usb.display_name, "Crucial CT500");

    // Unknown bridge: a fixed disk that answers ATA IDENTIFY is a SATA disk
    // behind a translating bridge; a removable one stays a flash drive.
    FakeDisk unknown = disk_test::usb_sata_disk(5, "Samsung 870", 104);
    unknown.inquiry = {};
    fake.add(unknown);
    EXPECT_EQ(build_disk_record(fake.disk(1).info).access_protocol, kProtoUsbAta);
    fake.disk(1).info.removable = true;
    DiskRecord stick = build_disk_record(fake.disk(1).info);
    EXPECT_EQ(stick.access_protocol, kProtoFlashDrv);
    EXPECT_EQ(stick.display_name, "USB Attached SCSI Disk");  // no identify for flash drives
    EXPECT_EQ(port_identifier(stick), "USB-4");
}

class DiskDiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override { reset_app_context(); }
    FakeMachineGuard fake;
};

TEST_F(DiskDiscoveryTest, RawAndLetteredDisksWithTheirVolumes) {
    FakeDisk system = disk_test::sata_disk(0, "Samsung SSD 860", 1);
    system.info.volumes = {volume('D', 2 * 1073741824ull, false, 5), volume('C', 1073741824ull, true, 7)};
    fake.add(system);
    fake.add(disk_test::sata_disk(1, "Micron 5300", 2));

    DiskTable table;
    ASSERT_EQ(discover(table), 4);
    const DiskRecord& disk0 = table.records[0];
    EXPECT_EQ(disk0.display_name, "Samsung SSD 860");  // identify replaces the friendly name
    EXPECT_EQ(disk0.model_name, "Samsung SSD 860");
    EXPECT_EQ(disk0.firmware_revision, "FW01");
    EXPECT_EQ(disk0.device_path, "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(disk0.port_device_path, "\\\\.\\scsi0:");
    EXPECT_EQ(disk0.drive_letters, "C: D: ");
    EXPECT_EQ(disk0.first_volume_path, "\\\\.\\C:");
    EXPECT_EQ(disk0.raw_flag, 0u);
    EXPECT_EQ(disk0.system_flag, 1u);
    EXPECT_EQ(disk0.access_protocol, kProtoAta);
    EXPECT_EQ(disk0.record_kind, kRecordDisk);
    EXPECT_EQ(disk0.alignment_flag, 1u);
    EXPECT_EQ(disk0.pci_vendor_id, 0u);

    // Volumes follow their disk in letter order.
    const DiskRecord& c = table.records[1];
    const DiskRecord& d = table.records[2];
    EXPECT_EQ(c.display_name, "[C:] - 4K Aligned");
    EXPECT_EQ(d.display_name, "[D:] - Non 4K Align");
    EXPECT_EQ(c.device_path, "\\\\.\\C:");
    EXPECT_EQ(c.physical_path, "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(c.drive_letters, "C:");
    EXPECT_EQ(c.model_name, "Samsung SSD 860");
    EXPECT_EQ(c.record_kind, kRecordVolume);
    EXPECT_EQ(c.raw_flag, 0u);
    EXPECT_EQ(c.system_flag, 1u);
    EXPECT_EQ(c.alignment_flag, 1u);
    EXPECT_EQ(d.alignment_flag, 0u);
    EXPECT_EQ(c.size_a, 7u);
    EXPECT_EQ(c.size_b, 1073741824ull);
    EXPECT_EQ(c.access_protocol, kProtoAta);
    EXPECT_EQ(c.scsi_path_id, 1u);
    EXPECT_EQ(c.firmware_revision, "FW01");
    EXPECT_EQ(c.controller_name, "Standard SATA AHCI Controller");

    const DiskRecord& raw = table.records[3];
    EXPECT_EQ(raw.raw_flag, 1u);
    EXPECT_EQ(raw.system_flag, 0u);
    EXPECT_EQ(raw.drive_letters, "");
    EXPECT_EQ(raw.first_volume_path, "");
    EXPECT_EQ(raw.size_a, 1953525168ull * 512);
    EXPECT_EQ(port_identifier(raw), "SATA2");
}

TEST_F(DiskDiscoveryTest, ADiskInUseWithoutVolumesIsNotRaw) {
    FakeDisk busy = disk_test::sata_disk(0, "Busy", 1);
    busy.info.in_use = true;  // partitions or swap, nothing mounted
    fake.add(busy);
    fake.add(disk_test::sata_disk(1, "Free", 2));
    DiskTable table;
    ASSERT_EQ(discover(table), 2);
    EXPECT_EQ(table.records[0].raw_flag, 0u);
    EXPECT_EQ(table.records[0].drive_letters, "");
    EXPECT_EQ(table.records[0].system_flag, 0u);
    EXPECT_EQ(table.records[1].raw_flag, 1u);
}

TEST_F(DiskDiscoveryTest, FailedIdentifyKeepsTheFriendlyNameAndTextsAreCut) {
    FakeDisk silent = disk_test::sata_disk(0, "ignored", 0);
    silent.ata = false;
    std::string long_name;
    for (int i = 0; i < 200; ++i) long_name += "\xC3\xA9";  // U+00E9, one UTF-16 unit
    silent.info.friendly_name = long_name;
    silent.info.scsi_target = 1;
    silent.info.scsi_lun = 2;
    fake.add(silent);

    DiskTable table;
    ASSERT_EQ(discover(table), 1);
    const DiskRecord& r = table.records[0];
    EXPECT_EQ(utf16_length(r.display_name), 127u);
    EXPECT_EQ(r.display_name, r.model_name);
    EXPECT_EQ(r.firmware_revision, "");
    EXPECT_EQ(r.scsi_target_lun, 102u);
    EXPECT_EQ(port_identifier(r), "SATA0-102");
    EXPECT_FALSE(read_drive_identity(r).ok);
}

TEST_F(DiskDiscoveryTest, TooManyRecordsEmptyTheTable) {
    // 13 disks with one letter each: 26 records fit exactly.
    for (uint32_t i = 0; i < 13; ++i) {
        FakeDisk d = disk_test::sata_disk(i, fmt("Disk %d", i), i);
        d.info.volumes = {volume(static_cast<char>('D' + i), 1u << 30)};
        fake.add(d);
    }
    DiskTable table;
    EXPECT_EQ(discover(table), 26);
    EXPECT_EQ(table.count, 26);
    fake.add(disk_test::sata_disk(20, "One more", 20));
    EXPECT_EQ(discover(table), -1);
    EXPECT_EQ(table.count, 0);
    EXPECT_TRUE(table.records[0].device_path.empty());
    // A smaller capacity is honoured as well.
    fake.machine().disks.resize(2);
    EXPECT_EQ(discover(table, 3), -1);
    EXPECT_EQ(discover(table, 4), 4);
}

TEST_F(DiskDiscoveryTest, AtMostEightVolumesPerDisk) {
    FakeDisk d = disk_test::sata_disk(0, "Many", 0);
    for (char c = 'L'; c >= 'C'; --c) d.info.volumes.push_back(volume(c, 1u << 20));  // ten, in reverse
    fake.add(d);
    DiskTable table;
    ASSERT_EQ(discover(table), 9);
    EXPECT_EQ(table.records[1].drive_letters, "C:");
    EXPECT_EQ(table.records[8].drive_letters, "J:");
    EXPECT_EQ(table.records[0].drive_letters, "C: D: E: F: G: H: I: J: K: L: ");
}

TEST_F(DiskDiscoveryTest, NvmeIdentityAndPciePort) {
    fake.add(disk_test::nvme_disk(2, "KORVANTE KV900 1TB", 0x8086, pci_location(2, 0, 0)));
    DiskTable table;
    ASSERT_EQ(discover(table), 1);
    const DiskRecord& r = table.records[0];
    EXPECT_EQ(r.access_protocol, kProtoNvm);
    EXPECT_EQ(r.controller_name, "Standard NVM Express Controller");
    EXPECT_EQ(port_identifier(r), "PCIE-02:00.0");
    EXPECT_EQ(r.display_name, "KORVANTE KV900 1TB");
    EXPECT_EQ(r.firmware_revision, "1.0");
    EXPECT_EQ(r.pci_vendor_id, 0x8086u);
}

TEST_F(DiskDiscoveryTest, TargetMatching) {
    fake.add(disk_test::sata_disk(0, "Samsung SSD 860", 1));
    fake.add(disk_test::nvme_disk(1, "KORVANTE KV900", 0x80AB, pci_location(3, 0, 0)));
    DiskTable table;
    ASSERT_EQ(discover(table), 2);
    DiskRecord sata = table.records[0];
    DiskRecord nvme = table.records[1];

    EXPECT_TRUE(match_target("\\\\.\\PhysicalDrive0", sata));
    EXPECT_FALSE(match_target("\\\\.\\PhysicalDrive1", sata));
    EXPECT_FALSE(match_target("\\\\.\\PhysicalDrive", sata));
    EXPECT_TRUE(match_target("\\\\.\\MODEL\\ssd 86", sata));  // the model read now, any case
    EXPECT_FALSE(match_target("\\\\.\\model\\Micron", sata));
    EXPECT_TRUE(match_target("\\\\.\\PORT\\sata1", sata));
    EXPECT_TRUE(match_target("\\\\.\\port\\PCIE-03", nvme));
    EXPECT_TRUE(match_target("\\\\.\\COMBOdisk1", sata));
    EXPECT_TRUE(match_target("\\\\.\\combodisk1", nvme));

    // Vendor ids: NVMe only, hex or '?' wildcards.
    EXPECT_TRUE(match_target("\\\\.\\vid\\80??", nvme));
    EXPECT_TRUE(match_target("\\\\.\\VID\\80ab", nvme));
    EXPECT_FALSE(match_target("\\\\.\\vid\\8086", nvme));
    EXPECT_FALSE(match_target("\\\\.\\vid\\81??", nvme));
    EXPECT_FALSE(match_target("\\\\.\\vid\\????", sata));

    // SoC identifiers: 0 (not read) never matches a number.
    EXPECT_FALSE(match_target("\\\\.\\socid\\0", sata));
    EXPECT_FALSE(match_target("\\\\.\\QZdisk", sata));
    nvme.soc_id = 0x2263;
    EXPECT_TRUE(match_target("\\\\.\\socid\\2263", nvme));
    EXPECT_TRUE(match_target("\\\\.\\SOCID\\22??", nvme));
    EXPECT_FALSE(match_target("\\\\.\\socid\\2264", nvme));
    EXPECT_TRUE(match_target("\\\\.\\QZDISK", nvme));

    // A disk that no longer answers no longer matches by model.
    fake.disk(0).present = false;
    EXPECT_FALSE(match_target("\\\\.\\MODEL\\Samsung", sata));
    EXPECT_TRUE(match_target("\\\\.\\PHYSICALDRIVE0", sata));  // the path alone needs no identify
}

TEST(DiskTargetMatch, HexSelectorRules) {
    EXPECT_TRUE(match_hex_selector("1cc1", 0x1CC1));
    EXPECT_TRUE(match_hex_selector("1C?1", 0x1CC1));
    EXPECT_TRUE(match_hex_selector("????", 0x0001));
    EXPECT_FALSE(match_hex_selector("???", 0x0001));   // the positions must line up
    EXPECT_FALSE(match_hex_selector("1C?", 0x1CC1));
    EXPECT_TRUE(match_hex_selector("0", 0));
    EXPECT_FALSE(match_hex_selector("0", 0, true));
    EXPECT_TRUE(match_hex_selector("00012345", 0x12345));
    EXPECT_FALSE(match_hex_selector("", 0));
    EXPECT_TRUE(selector_needs_vendor_id("\\\\.\\qzdisk"));
    EXPECT_TRUE(selector_needs_vendor_id("\\\\.\\SOCID\\1234"));
    EXPECT_FALSE(selector_needs_vendor_id("\\\\.\\QZdisk2"));
}

}  // namespace
}  // namespace tb
