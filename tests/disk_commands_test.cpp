// The disk commands (DiskList, ChangeDisk, GetDiskInfo, GetSocID and the
// Is... queries) run against a scripted machine.
#include "disk/disk_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/format.h"
#include "disk/disk_discovery.h"
#include "disk/port_identifier.h"
#include "disk/target_select.h"
#include "disk/vendor_identification.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "tests/disk_fake.h"
#include "tests/fake_dialogs.h"
#include "tests/test_support.h"
#include "ui/job_log.h"

namespace tb {
namespace {

using disk_test::FakeDisk;
using disk_test::volume;

class DiskCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::fresh_slot();
        job_slot(0)->vars.set_number("_ErrorSkip", 1000);
        set_disk_restriction({});
        clear_current_target();
        disk_table() = DiskTable{};
    }
    void TearDown() override {
        set_disk_notice_handler(nullptr);
        set_vendor_identifier(nullptr);
        clear_current_target();
        disk_table() = DiskTable{};
        reset_app_context();
    }

    // The machine of most tests: a system disk with C: and D:, a RAW SATA
    // disk, and two NVMe disks.
    void standard_machine() {
        FakeDisk system = disk_test::sata_disk(0, "Samsung SSD 860", 1);
        system.info.volumes = {volume('C', 1073741824ull, true), volume('D', 1073741825ull, false)};
        fake.add(system);
        fake.add(disk_test::sata_disk(1, "Micron 5300", 2));
        fake.add(disk_test::nvme_disk(2, "KORVANTE KV900", 0x80AB, pci_location(2, 0, 0)));
        fake.add(disk_test::nvme_disk(3, "Other NVMe", 0x144D, pci_location(4, 0, 0)));
    }

    static std::vector<std::string> lines() {
        std::vector<std::string> out;
        for (const LogLine& l : job_log_lines(0)) out.push_back(l.text);
        return out;
    }
    static std::vector<LogLine> raw_lines() { return job_log_lines(0); }
    static bool has_line(const std::string& text) {
        for (const std::string& l : lines())
            if (l == text) return true;
        return false;
    }
    static std::string result(const std::string& name) { return test::var(name); }

    disk_test::FakeMachineGuard fake;
};

std::string disk_line(const std::string& name, const std::string& fw, const std::string& cap,
                      const std::string& port, const std::string& proto, const std::string& vid,
                      const std::string& path) {
    return fmt("%-38s %-10s %-8s %-14s %-9s %-6s %s", name, fw, cap, port, proto, vid, path);
}

TEST_F(DiskCommandsTest, DiskListColumnsVolumesAndResult) {
    standard_machine();
    // A windowed run keeps the lines as written (console runs trim them).
    app().run_style = kStyleWindow;
    cmd_DiskList(0, "ShowVolumn:1, Column:0, Filter:\"\", Master:1", "DiskList");
    std::vector<LogLine> out = raw_lines();
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[0].text, disk_line("Samsung SSD 860", "FW01", "1000GB", "SATA1", "ATA", "",
                                     "\\\\.\\PHYSICALDRIVE0"));
    // Volumes right after their disk; exactly 1 GiB is still counted in MB.
    EXPECT_EQ(out[1].text, disk_line("        \xE2\x88\x9F[C:] - 4K Aligned", "", "1024MB", "", "", "",
                                     "\\\\.\\C:"));
    EXPECT_EQ(out[2].text, disk_line("        \xE2\x88\x9F[D:] - Non 4K Align", "", "1GB", "", "", "",
                                     "\\\\.\\D:"));
    EXPECT_EQ(out[3].text, disk_line("Micron 5300", "FW01", "1000GB", "SATA2", "ATA", "", "\\\\.\\PHYSICALDRIVE1"));
    EXPECT_EQ(out[4].text, disk_line("KORVANTE KV900", "1.0", "1000GB", "PCIE-02:00.0", "NVM", "80AB",
                                     "\\\\.\\PHYSICALDRIVE2"));
    for (const LogLine& l : out) {
        EXPECT_EQ(l.colour, 0xFFFF00u);
        EXPECT_EQ(l.font_size, 10);
    }
    EXPECT_EQ(result("DiskList"),
              "\"\\\\.\\PHYSICALDRIVE0\",\"\\\\.\\C:\",\"\\\\.\\D:\",\"\\\\.\\PHYSICALDRIVE1\","
              "\"\\\\.\\PHYSICALDRIVE2\",\"\\\\.\\PHYSICALDRIVE3\"");
}

TEST_F(DiskCommandsTest, DiskListDefaultsMasterColumnAndFilter) {
    standard_machine();
    // Defaults: no volumes, plain columns, every disk.
    cmd_DiskList(0, "", "DiskList");
    EXPECT_EQ(lines().size(), 4u);

    // Master:FALSE leaves the system disk (and its volumes) out.
    clear_job_log(0);
    cmd_DiskList(0, "ShowVolumn:1, Column:1, Filter:\"\", Master:0", "Disks");
    std::vector<std::string> out = lines();
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], fmt("%-38s|%-10s|%-8s|%-14s|%-9s|%-6s|%s", "Micron 5300", "FW01", "1000GB", "SATA2", "ATA", "",
                          "\\\\.\\PHYSICALDRIVE1"));
    EXPECT_EQ(result("Disks"), "\"\\\\.\\PHYSICALDRIVE1\",\"\\\\.\\PHYSICALDRIVE2\",\"\\\\.\\PHYSICALDRIVE3\"");

    // A vendor-id filter keeps the NVMe disks whose id starts with 80.
    clear_job_log(0);
    cmd_DiskList(0, "ShowVolumn:0, Column:0, Filter:\"\\\\.\\vid\\80??\", Master:1", "V");
    EXPECT_EQ(result("V"), "\"\\\\.\\PHYSICALDRIVE2\"");
    EXPECT_EQ(lines().size(), 1u);

    // The console listing's form of the arguments (TRUE / FALSE words).
    cmd_DiskList(0, "ShowVolumn:FALSE, Column:FALSE, Filter:\"\\\\.\\PHYSICALDRIVE3\", Master:TRUE ", "P");
    EXPECT_EQ(result("P"), "\"\\\\.\\PHYSICALDRIVE3\"");

    // A bad value ends the command without a result.
    cmd_DiskList(0, "ShowVolumn:0, Column:0, Filter:undefinedVariable, Master:1", "Bad");
    EXPECT_EQ(result("Bad"), "<undefined>");
}

TEST_F(DiskCommandsTest, ScriptsTakeTheListAsAnArrayAndAskTheTarget) {
    standard_machine();
    ASSERT_TRUE(select_default_target());
    test::run("d[] = DiskList( ShowVolumn:FALSE, Column:FALSE, Filter:\"\", Master:FALSE );");
    EXPECT_EQ(test::var("d[0xEFFFFFFF]"), "3");
    EXPECT_EQ(test::var("d[0]"), "\\\\.\\PHYSICALDRIVE1");
    EXPECT_EQ(test::var("d[2]"), "\\\\.\\PHYSICALDRIVE3");
    test::run("If ( IsRAWDisk() == 1 && IsWinOS() == 0 ) {");
    test::run("x = 1;");
    test::run("}");
    EXPECT_EQ(test::var("x"), "1");
    test::run("m = GetDiskInfo( Item:\"Model Name\" );");
    EXPECT_EQ(test::var("m"), "Micron 5300");
    test::run("ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE2\" );");
    EXPECT_EQ(app().access_protocol, kProtoNvm);
    test::run("n = IsNVMEDisk();");
    EXPECT_EQ(test::var("n"), "1");
}

TEST_F(DiskCommandsTest, DiskListRunsTheVendorIdentificationForSocFilters) {
    standard_machine();
    set_vendor_identifier([](DiskRecord& r) -> uint32_t {
        r.soc_id = r.pci_vendor_id == 0x80AB ? 0x2263u : 0u;
        return r.soc_id;
    });
    cmd_DiskList(0, "ShowVolumn:0, Column:0, Filter:\"\\\\.\\QZdisk\", Master:1", "Q");
    EXPECT_EQ(result("Q"), "\"\\\\.\\PHYSICALDRIVE2\"");
    cmd_DiskList(0, "ShowVolumn:0, Column:0, Filter:\"\\\\.\\socid\\22??\", Master:1", "S");
    EXPECT_EQ(result("S"), "\"\\\\.\\PHYSICALDRIVE2\"");
    // Without such a filter nothing asks the disks.
    cmd_DiskList(0, "", "All");
    EXPECT_EQ(disk_table().records[4].soc_id, 0u);
}

TEST_F(DiskCommandsTest, DiskListWithTooManyRecordsListsNothing) {
    for (uint32_t i = 0; i < 27; ++i) fake.add(disk_test::sata_disk(i, fmt("D%d", i), i));
    cmd_DiskList(0, "", "DiskList");
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(result("DiskList"), "");
}

TEST_F(DiskCommandsTest, ChangeDiskSwitchesOrFails) {
    standard_machine();
    ASSERT_TRUE(select_default_target());
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE1");

    cmd_ChangeDisk(0, "PhysicalName:\"\\\\.\\physicaldrive2\"", "ChangeDisk");
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE2");
    EXPECT_EQ(app().access_protocol, kProtoNvm);
    EXPECT_EQ(app().target, "\\\\.\\PHYSICALDRIVE2");
    std::vector<LogLine> out = raw_lines();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].text, "ChangeDisk(PhysicalName:\"\\\\.\\physicaldrive2\");");
    EXPECT_EQ(out[0].colour, 0x00FF00u);
    EXPECT_EQ(out[1].text, "Change to Disk: \\\\.\\PHYSICALDRIVE2");
    EXPECT_EQ(out[1].colour, 0xFF9632u);

    // A name that no disk of the last scan has.
    cmd_ChangeDisk(0, "PhysicalName:\"\\\\.\\PHYSICALDRIVE9\"", "ChangeDisk");
    EXPECT_EQ(job_slot(0)->error_code, -1);
    EXPECT_EQ(job_slot(0)->error_text, "Open Disk Fail. Cannot find \\\\.\\PHYSICALDRIVE9");
    EXPECT_TRUE(has_line("[Error Desc]:  Open Disk Fail. Cannot find \\\\.\\PHYSICALDRIVE9"));
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE2");
    // A volume path is not a physical path.
    cmd_ChangeDisk(0, "PhysicalName:\"\\\\.\\C:\"", "ChangeDisk");
    EXPECT_EQ(job_slot(0)->error_text, "Open Disk Fail. Cannot find \\\\.\\C:");
}

TEST_F(DiskCommandsTest, ChangeDiskHandsTheSwitchToTheWindow) {
    standard_machine();
    ASSERT_TRUE(select_default_target());
    app().run_style = kStyleWindow;
    static std::string notified;
    notified.clear();
    set_disk_notice_handler([](int, DiskNotice n, const std::string& path) {
        if (n == DiskNotice::ChangeRequested) notified = path;
    });
    cmd_ChangeDisk(0, "PhysicalName:\"\\\\.\\PhysicalDrive3\"", "ChangeDisk");
    EXPECT_EQ(notified, "\\\\.\\PHYSICALDRIVE3");
    EXPECT_EQ(app().target, "\\\\.\\PHYSICALDRIVE3");
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE1");  // the window switches
}

TEST_F(DiskCommandsTest, ChangeDiskWithoutNameAsks) {
    standard_machine();
    ASSERT_TRUE(select_default_target());
    test::ScopedFakeDialogs dialogs;
    dialogs->on_choose = [](const ChoiceRequest&) { return 5; };  // the last NVMe disk
    cmd_ChangeDisk(0, "PhysicalName:\"\"", "ChangeDisk");
    ASSERT_EQ(dialogs->choices.size(), 1u);
    const ChoiceRequest& asked = dialogs->choices[0];
    EXPECT_EQ(asked.title, "Targit Disk");
    ASSERT_EQ(asked.items.size(), 6u);
    EXPECT_EQ(asked.items[1], "        \xE2\x88\x9F[C:] - 4K Aligned");
    EXPECT_EQ(disk_choices()[1].physical_path, "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(asked.preselected, 3);  // the job's disk
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE3");

    // A cancelled box ends the command quietly.
    dialogs->on_choose = [](const ChoiceRequest&) { return -1; };
    clear_job_log(0);
    int before = job_slot(0)->error_code;
    cmd_ChangeDisk(0, "", "ChangeDisk");
    EXPECT_TRUE(has_line("---- Cancel Command ----"));
    EXPECT_EQ(job_slot(0)->error_code, before);
    EXPECT_EQ(current_target().device_path, "\\\\.\\PHYSICALDRIVE3");

    // A remote console never asks.
    dialogs->on_choose = [](const ChoiceRequest&) { return 0; };
    dialogs->asked = 0;
    app().run_style = kStyleRemoteConsole;
    clear_job_log(0);
    cmd_ChangeDisk(0, "", "ChangeDisk");
    EXPECT_EQ(dialogs->asked, 0);
    EXPECT_TRUE(has_line("---- Cancel Command ----"));
}

TEST_F(DiskCommandsTest, QueriesAboutTheCurrentTarget) {
    standard_machine();
    FakeDisk usb = disk_test::usb_sata_disk(4, "Crucial CT500", 103);
    fake.add(usb);
    ASSERT_TRUE(select_target("\\\\.\\PHYSICALDRIVE1"));

    auto flag = [](void (*cmd)(int, const std::string&, const std::string&)) {
        cmd(0, "", "Q");
        return test::var("Q");
    };
    EXPECT_EQ(flag(cmd_IsRAWDisk), "1");
    EXPECT_EQ(flag(cmd_IsNVMEDisk), "0");
    EXPECT_EQ(flag(cmd_IsUSBPort), "0");
    EXPECT_EQ(flag(cmd_IsROMDrive), "0");   // not identified: neither ROM mode ...
    EXPECT_EQ(flag(cmd_IsFWCfgDisk), "0");  // ... nor configurable firmware
    EXPECT_EQ(flag(cmd_IsWinOS), "0");  // a Linux build
    EXPECT_EQ(flag(cmd_IsDiskExist), "1");
    EXPECT_EQ(flag(cmd_GetSocID), "0x0");

    cmd_GetDiskInfo(0, "Item:\"Drive Path\"", "GetDiskInfo");
    EXPECT_EQ(result("GetDiskInfo"), "\\\\.\\PHYSICALDRIVE1");
    cmd_GetDiskInfo(0, "Item:\"Model Name\"", "GetDiskInfo");
    EXPECT_EQ(result("GetDiskInfo"), "Micron 5300");
    cmd_GetDiskInfo(0, "Item:\"Serial Number\"", "GetDiskInfo");
    EXPECT_EQ(result("GetDiskInfo"), "SN0001");
    cmd_GetDiskInfo(0, "Item:\"Firmware Version\"", "GetDiskInfo");
    EXPECT_EQ(result("GetDiskInfo"), "FW01");

    // Gone: identify fails now.
    fake.disk(1).present = false;
    EXPECT_EQ(flag(cmd_IsDiskExist), "0");
    cmd_GetDiskInfo(0, "Item:\"Model Name\"", "GetDiskInfo");
    EXPECT_EQ(result("GetDiskInfo"), "");
    cmd_GetDiskInfo(0, "Item:\"Drive Path\"", "GetDiskInfo");
    EXPECT_EQ(result("GetDiskInfo"), "\\\\.\\PHYSICALDRIVE1");

    ASSERT_TRUE(select_target("\\\\.\\PHYSICALDRIVE2"));
    EXPECT_EQ(flag(cmd_IsNVMEDisk), "1");
    EXPECT_EQ(flag(cmd_IsRAWDisk), "1");
    cmd_GetDiskInfo(0, "Item:\"Serial Number\"", "GetDiskInfo");
    EXPECT_EQ(result("GetDiskInfo"), "NV0002");

    ASSERT_TRUE(select_target("\\\\.\\PORT\\USB-3"));
    EXPECT_EQ(flag(cmd_IsUSBPort), "1");
    EXPECT_EQ(current_target().access_protocol, kProtoUsbAta);
    EXPECT_EQ(flag(cmd_IsDiskExist), "1");  // through SCSI/ATA translation

    // A vendor identification that finds a ROM-mode controller.
    set_vendor_identifier([](DiskRecord& r) -> uint32_t {
        r.soc_id = 0x1202;
        r.firmware_kind = 0;
        return r.soc_id;
    });
    EXPECT_EQ(flag(cmd_GetSocID), "0x1202");
    EXPECT_EQ(flag(cmd_IsROMDrive), "1");
    current_target().firmware_kind = 2;
    EXPECT_EQ(flag(cmd_IsFWCfgDisk), "1");
}

}  // namespace
}  // namespace tb
