// The system report's pieces that every machine shares: the PCIe link read
// from a configuration space, and the report lines with their keys.
#include <gtest/gtest.h>

#include <vector>

#include "disk/disk_record.h"
#include "files/system_info_report.h"
#include "platform/pcie_link_status.h"

namespace tb {
namespace {

// A type-0 header with a capability list: power management at 0x40, then
// PCI Express at 0x60.
std::vector<uint8_t> config_space(uint16_t link_status, uint32_t link_caps) {
    std::vector<uint8_t> c(256, 0);
    c[6] = 0x10;  // capability list present
    c[0x34] = 0x40;
    c[0x40] = 0x01;
    c[0x41] = 0x60;
    c[0x60] = 0x10;
    c[0x61] = 0x00;
    for (int i = 0; i < 4; ++i) c[0x60 + 0x0C + static_cast<size_t>(i)] = static_cast<uint8_t>(link_caps >> (8 * i));
    c[0x60 + 0x12] = static_cast<uint8_t>(link_status);
    c[0x60 + 0x13] = static_cast<uint8_t>(link_status >> 8);
    return c;
}

TEST(SystemInfoPcieLink, SpeedAndWidthComeFromTheExpressCapability) {
    const auto state = pcie_link_state(config_space(0x0043, 0x0000F084));  // gen 3 x4 of gen 4 x8
    ASSERT_TRUE(state);
    EXPECT_EQ(state->speed, 3u);
    EXPECT_EQ(state->width, 4u);
    EXPECT_EQ(state->max_speed, 4u);
    EXPECT_EQ(state->max_width, 8u);
    EXPECT_EQ(pcie_speed_text(state->speed), "8.0 GT/s PCIe");
    EXPECT_EQ(pcie_speed_text(1), "2.5 GT/s PCIe");
    EXPECT_EQ(pcie_speed_text(5), "32.0 GT/s PCIe");
    EXPECT_EQ(pcie_speed_text(0), "");
}

TEST(SystemInfoPcieLink, SpacesWithoutTheCapabilityGiveNothing) {
    std::vector<uint8_t> none = config_space(0x0043, 0);
    none[6] = 0;  // no capability list
    EXPECT_FALSE(pcie_link_state(none));
    std::vector<uint8_t> loop = config_space(0x0043, 0);
    loop[0x60] = 0x05;  // MSI instead of Express ...
    loop[0x61] = 0x40;  // ... pointing back: a loop ends the walk
    EXPECT_FALSE(pcie_link_state(loop));
    EXPECT_FALSE(pcie_link_state(std::vector<uint8_t>(16, 0)));
}

TEST(SystemInfoLines, EveryFactHasItsKeyAndUnknownOnesShowADash) {
    MachineFacts f;
    f.os_name = "Debian GNU/Linux 12 (bookworm)";
    f.cpu_count = 12;
    f.memory_bytes = 16ull << 30;
    const std::vector<std::string> lines = machine_report_lines(f);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0], "OS Name                   : Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(lines[1], "OS Version                : -");
    EXPECT_EQ(lines[5], "CPU Count                 : 12");
    EXPECT_EQ(lines[6], "Memory MB                 : 16384");

    DiskRecord t;
    t.physical_path = "\\\\.\\PHYSICALDRIVE1";
    t.model_name = "SSD";
    t.controller_service = "stornvme";
    t.access_protocol = kProtoNvm;
    DiskAttachment a;
    a.link = "PCIe";
    a.link_speed = "16.0 GT/s PCIe";
    a.link_width = "x4";
    const std::vector<std::string> disk = disk_report_lines(t, a);
    EXPECT_EQ(disk[0], "Disk                      : \\\\.\\PHYSICALDRIVE1");
    EXPECT_EQ(disk[3], "Disk Protocol             : NVM");
    EXPECT_EQ(disk[6], "Driver                    : stornvme");  // the record's when the machine tells none
    EXPECT_EQ(disk[9], "Link Speed                : 16.0 GT/s PCIe");
    EXPECT_EQ(disk[10], "Link Width                : x4");
    EXPECT_EQ(disk[13], "Bridge                    : -");
}

}  // namespace
}  // namespace tb
