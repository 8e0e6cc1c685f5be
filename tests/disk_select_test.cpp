// Choosing the start-up target under the package restriction, refinding the
// target after a replug, and waiting for a disk.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "disk/disk_discovery.h"
#include "disk/port_identifier.h"
#include "disk/refind.h"
#include "disk/target_select.h"
#include "disk/vendor_identification.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "tests/disk_fake.h"
#include "tests/test_support.h"
#include "ui/job_log.h"

namespace tb {
namespace {

using disk_test::FakeDisk;
using disk_test::volume;

class DiskSelectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::fresh_slot();
        set_disk_restriction({});
        clear_current_target();
    }
    void TearDown() override {
        set_disk_restriction({});
        set_disk_notice_handler(nullptr);
        set_vendor_identifier(nullptr);
        clear_current_target();
        disk_table() = DiskTable{};
        reset_app_context();
    }

    static std::vector<std::string> lines() {
        std::vector<std::string> out;
        for (const LogLine& l : job_log_lines(0)) out.push_back(l.text);
        return out;
    }

    disk_test::FakeMachineGuard fake;
};

TEST_F(DiskSelectTest, DefaultTargetPrefersRawAndNeverTheSystemDisk) {
    FakeDisk system = disk_test::sata_disk(0, "System SSD", 0);
    system.info.volumes = {volume('C', 1u << 30)};
    fake.add(system);
    FakeDisk data = disk_test::sata_disk(1, "Data SSD", 1);
    data.info.volumes = {volume('E', 1u << 30)};
    fake.add(data);
    fake.add(disk_test::nvme_disk(2, "Raw NVMe", 0x1CC1, pci_location(1, 0, 0)));

    ASSERT_TRUE(select_default_target());
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE2");
    EXPECT_EQ(app().access_protocol, kProtoNvm);
    EXPECT_EQ(app().target, "\\\\.\\PHYSICALDRIVE2");
    EXPECT_TRUE(has_current_target());

    // Without a RAW disk the first lettered disk that is not the system disk.
    fake.disk(2).present = false;
    ASSERT_TRUE(select_default_target());
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE1");
    EXPECT_EQ(app().access_protocol, kProtoAta);

    // Only the system disk: no target at all.
    fake.disk(1).present = false;
    EXPECT_FALSE(select_default_target());
    EXPECT_FALSE(has_current_target());
    EXPECT_EQ(app().access_protocol, kProtoNone);
    EXPECT_EQ(current_target().raw_flag, 0u);
    EXPECT_EQ(current_target().firmware_kind, -1);
}

TEST_F(DiskSelectTest, SelectorsAndTheirFailure) {
    fake.add(disk_test::sata_disk(0, "Samsung SSD 860", 0));
    fake.add(disk_test::nvme_disk(1, "KORVANTE KV900", 0x8086, pci_location(2, 0, 0)));
    fake.add(disk_test::nvme_disk(2, "KORVANTE KV700", 0x80AB, pci_location(3, 0, 0)));

    EXPECT_TRUE(select_target("\\\\.\\PHYSICALDRIVE2"));
    EXPECT_EQ(current_target().model_name, "KORVANTE KV700");
    EXPECT_TRUE(select_target("\\\\.\\MODEL\\KORVANTE"));  // the first that matches
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE1");
    EXPECT_TRUE(select_target("\\\\.\\vid\\80A?"));
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE2");
    EXPECT_EQ(app().target, "\\\\.\\PHYSICALDRIVE2");

    app().target = "\\\\.\\MODEL\\NOTHERE";
    EXPECT_FALSE(select_target(app().target));
    EXPECT_FALSE(has_current_target());
    EXPECT_EQ(app().access_protocol, kProtoNone);
    EXPECT_EQ(app().target, "\\\\.\\MODEL\\NOTHERE");  // kept for the NO FOUND message
}

TEST_F(DiskSelectTest, VendorIdentificationBeforeSocSelectors) {
    fake.add(disk_test::sata_disk(0, "Samsung SSD 860", 0));
    fake.add(disk_test::nvme_disk(1, "KORVANTE KV900", 0x1D79, pci_location(2, 0, 0)));
    static int asked = 0;
    asked = 0;
    set_vendor_identifier([](DiskRecord& r) -> uint32_t {
        ++asked;
        r.soc_id = r.pci_vendor_id == 0x1D79 ? 0x2263u : 0u;
        return r.soc_id;
    });
    ASSERT_TRUE(select_target("\\\\.\\QZdisk"));
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE1");
    EXPECT_EQ(current_target().soc_id, 0x2263u);
    EXPECT_GE(asked, 2);
    ASSERT_TRUE(select_target("\\\\.\\socid\\2263"));
    EXPECT_FALSE(select_target("\\\\.\\socid\\2264"));
}

TEST_F(DiskSelectTest, PackageRestrictionAndProtocolType) {
    fake.add(disk_test::sata_disk(0, "Samsung SSD 860", 0));
    fake.add(disk_test::nvme_disk(1, "KORVANTE KV900", 0x1D79, pci_location(2, 0, 0)));
    FakeDisk asm2364 = disk_test::nvme_disk(2, "KORVANTE KV900", 0x1D79, 105);
    asm2364.info.bus_type = kBusUsb;
    asm2364.info.controller_service = "UASPStor";
    disk_test::put_text(asm2364.inquiry, 16, 16, "ASM2364");
    asm2364.inquiry[36] = 0x60;
    asm2364.inquiry[37] = 0x23;
    fake.add(asm2364);

    // ProtocolType SATA: only the ATA disks.
    DiskRestriction r;
    r.protocol_filter = 1;
    set_disk_restriction(r);
    EXPECT_TRUE(select_target("\\\\.\\COMBOdisk1"));
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE0");
    EXPECT_FALSE(select_target("\\\\.\\PHYSICALDRIVE1"));

    // ProtocolType NVME leaves out the ASM2364 bridge.
    r.protocol_filter = 2;
    set_disk_restriction(r);
    EXPECT_FALSE(select_target("\\\\.\\PHYSICALDRIVE0"));
    EXPECT_TRUE(select_target("\\\\.\\PHYSICALDRIVE1"));
    DiskTable table;
    ASSERT_EQ(discover(table), 3);
    EXPECT_EQ(table.records[2].access_protocol, kProtoAsm2364);
    EXPECT_FALSE(disk_allowed(table.records[2]));

    // Model filter with a list of models and SOCID "*".
    r = DiskRestriction{};
    r.active = true;
    r.model_filter = "Micron 5300;Samsung SSD 860";
    r.soc_filter = "*";
    set_disk_restriction(r);
    EXPECT_TRUE(disk_allowed(table.records[0]));
    EXPECT_FALSE(disk_allowed(table.records[1]));
    EXPECT_TRUE(select_target("\\\\.\\COMBOdisk1"));
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE0");
    // A disk that stops answering fails the model filter.
    fake.disk(0).present = false;
    EXPECT_FALSE(disk_allowed(table.records[0]));

    // An empty SOCID accepts no disk; "**" accepts every disk.
    r.model_filter.clear();
    r.soc_filter.clear();
    set_disk_restriction(r);
    EXPECT_FALSE(select_default_target());
    r.model_filter = "**";
    set_disk_restriction(r);
    EXPECT_TRUE(select_default_target());
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE1");
}

TEST_F(DiskSelectTest, RefindByPathAndByLocationAfterReplug) {
    FakeDisk usb = disk_test::usb_sata_disk(1, "Crucial CT500", 103);
    fake.add(disk_test::sata_disk(0, "Samsung SSD 860", 0));
    fake.add(usb);
    ASSERT_TRUE(select_target("\\\\.\\PHYSICALDRIVE1"));
    EXPECT_EQ(current_target().access_protocol, kProtoUsbAta);
    const std::string location = location_text(current_target());
    EXPECT_EQ(location, "7-0-103-0-1-2");

    // Replugged: the same port, a new disk number.
    fake.disk(1).info.disk_number = 3;
    fake.disk(1).info.scsi_port = 3;
    EXPECT_FALSE(refind_current_target("\\\\.\\PHYSICALDRIVE1"));
    ASSERT_TRUE(refind_current_target());
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE3");
    EXPECT_EQ(app().target, "\\\\.\\PHYSICALDRIVE3");
    EXPECT_TRUE(refind_current_target("\\\\.\\physicaldrive0"));
    EXPECT_EQ(current_target().model_name, "Samsung SSD 860");

    // After a PC restart the location text brings the disk back.
    ASSERT_TRUE(refind_by_location_text(location));
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE3");
    EXPECT_EQ(app().access_protocol, kProtoUsbAta);
    // Another port is another disk.
    EXPECT_FALSE(refind_by_location_text("7-0-104-0-1-2"));
    EXPECT_FALSE(refind_by_location_text("7-0-103-0-1"));
    EXPECT_FALSE(refind_by_location_text("7-0-103-0-1-2-9"));
    EXPECT_FALSE(refind_by_location_text("7-0-x-0-1-2"));
}

TEST_F(DiskSelectTest, SameLocationRules) {
    DiskRecord sata;
    sata.bus_type = kBusSata;
    sata.scsi_path_id = 2;
    sata.scsi_target_lun = 0;
    sata.port_location = 7;
    sata.access_protocol = kProtoAta;
    DiskRecord other = sata;
    other.port_location = 99;  // ignored on SATA
    other.disk_number = 5;
    EXPECT_TRUE(same_location(sata, other));
    other.scsi_target_lun = 100;
    EXPECT_FALSE(same_location(sata, other));
    other = sata;
    other.record_kind = kRecordVolume;
    EXPECT_FALSE(same_location(sata, other));

    DiskRecord nvme;
    nvme.bus_type = kBusNvme;
    nvme.port_location = 512;
    nvme.access_protocol = kProtoNvm;
    DiskRecord moved = nvme;
    moved.scsi_path_id = 3;  // ignored off SATA/SAS
    EXPECT_TRUE(same_location(nvme, moved));
    moved.access_protocol = kProtoOfaNvm;  // another driver took it
    EXPECT_FALSE(same_location(nvme, moved));

    DiskRecord parsed;
    ASSERT_TRUE(parse_location_text("17-0-512-0-1-10", parsed));
    EXPECT_TRUE(same_location(parsed, nvme));
    EXPECT_EQ(parsed.port_location, 512u);
    EXPECT_EQ(parsed.access_protocol, kProtoNvm);
}

TEST_F(DiskSelectTest, WaitForDiskTimesOutAndFinds) {
    fake.add(disk_test::nvme_disk(1, "KORVANTE KV900", 0x1D79, pci_location(2, 0, 0)));
    ASSERT_TRUE(select_target("\\\\.\\PHYSICALDRIVE1"));
    fake.disk(0).present = false;

    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(wait_for_disk(0, 0), 0);
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    std::vector<LogLine> out = job_log_lines(0);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].text, "Wait Disk Remain Timeout 0 sec");
    EXPECT_EQ(out[0].colour, 0x969696u);
    EXPECT_EQ(out[1].text, "TimeOut, Disk Disconnect");
    EXPECT_EQ(out[1].colour, 255u);

    // Plugged back under another number while the job waits.
    clear_job_log(0);
    static std::string refreshed;
    refreshed.clear();
    set_disk_notice_handler([](int, DiskNotice n, const std::string& path) {
        if (n == DiskNotice::Refound) refreshed = path;
    });
    std::thread plug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::lock_guard g(fake.machine().lock);
        fake.disk(0).info.disk_number = 4;
        fake.disk(0).present = true;
    });
    EXPECT_EQ(wait_for_disk(0, 5), 1);
    plug.join();
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE4");
    EXPECT_EQ(refreshed, "\\\\.\\PHYSICALDRIVE4");
    std::vector<std::string> text = lines();
    ASSERT_EQ(text.size(), 2u);
    EXPECT_EQ(text[0], "");  // the status line is cleared
    EXPECT_EQ(text[1], "Find Disk : \\\\.\\PHYSICALDRIVE4");
}

TEST_F(DiskSelectTest, WaitForDiskHonoursTheCancelFlag) {
    fake.add(disk_test::nvme_disk(1, "KORVANTE KV900", 0x1D79, pci_location(2, 0, 0)));
    ASSERT_TRUE(select_target("\\\\.\\PHYSICALDRIVE1"));
    fake.disk(0).present = false;
    std::thread stop([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        set_cancel(0);
    });
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(wait_for_disk(0, 30), 0);
    stop.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    app().jobs[0].cancel.store(false);
}

}  // namespace
}  // namespace tb
