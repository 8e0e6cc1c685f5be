// The vendor keys of a simulated disk's section: their values, their
// defaults and the refusals with the file and line of the mistake.
#include <gtest/gtest.h>

#include "platform/sim/sim_config.h"

namespace tb::sim {
namespace {

std::string refusal(const std::string& section) {
    std::string error;
    EXPECT_FALSE(parse_sim_config("[machine]\npersist = 0\n" + section, &error, "m.ini")) << section;
    return error;
}

TEST(SimVendorConfig, KeysAndDefaults) {
    auto cfg = parse_sim_config(
        "[disk1]\ntype = nvme\nvendor = 192\nvendor_soc = 0x2263\nvendor_rom = 1\nvendor_e1 = 1\n"
        "vendor_mpinfo = 4096\nvendor_id_byte256 = 0\nvendor_lock = 1\nvendor_drive_info = 0\nvendor_word = 512\n"
        "[disk2]\ntype = sata\nvendor = ata\n[disk3]\ntype = nvme\nvendor = 1\n[disk4]\ntype = nvme\n");
    ASSERT_TRUE(cfg);
    const SimVendorConfig& v = cfg->disks[0].vendor;
    EXPECT_EQ(v.kind, VendorKind::Selector192);
    EXPECT_EQ(v.soc_id, 0x2263);
    EXPECT_TRUE(v.start_in_rom);
    EXPECT_TRUE(v.answers_log_e1());
    EXPECT_EQ(v.mp_info_form, 4096u);
    EXPECT_EQ(v.byte256_bit1, false);
    EXPECT_TRUE(v.needs_enable);
    EXPECT_FALSE(v.drive_information);
    EXPECT_EQ(v.vendor_word, 512);
    EXPECT_EQ(cfg->disks[1].vendor.kind, VendorKind::Ata);
    EXPECT_TRUE(cfg->disks[2].vendor.answers_log_e1());  // selector 1 answers 0xE1 unless told
    EXPECT_EQ(cfg->disks[3].vendor.kind, VendorKind::None);
    EXPECT_FALSE(cfg->disks[3].vendor.enabled());
}

TEST(SimVendorConfig, MistakesAreRefusedWithTheirLine) {
    EXPECT_EQ(refusal("[disk1]\ntype = nvme\nvendor = 2\n"), "m.ini:5: vendor must be 1, 192, 0, ata or none, not 2");
    EXPECT_EQ(refusal("[disk1]\ntype = nvme\nvendor = 1\nvendor_soc = 0x12345\n"),
              "m.ini:6: vendor_soc must be a number from 0 to 0xFFFF, not 0x12345");
    EXPECT_EQ(refusal("[disk1]\ntype = nvme\nvendor_mpinfo = 2000\n"),
              "m.ini:5: vendor_mpinfo must be 1768, 4096 or none, not 2000");
    EXPECT_EQ(refusal("[disk1]\ntype = nvme\nvendor_rom = maybe\n"), "m.ini:5: vendor_rom must be 0 or 1, not maybe");
    EXPECT_EQ(refusal("[disk1]\ntype = nvme\nvendor_e1 = 2\n"), "m.ini:5: vendor_e1 must be 0 or 1, not 2");
    EXPECT_EQ(refusal("[disk1]\ntype = nvme\nvendor_id_byte256 = x\n"),
              "m.ini:5: vendor_id_byte256 must be 0 or 1, not x");
    EXPECT_EQ(refusal("[disk1]\ntype = nvme\n\nvendor = ata\n"),
              "m.ini:6: disk 1: vendor = ata is for a SATA disk; an NVMe disk takes 1, 192 or 0");
    EXPECT_EQ(refusal("[disk0]\ntype = sata\nvendor = 1\n"),
              "m.ini:5: disk 0: a SATA disk takes vendor = ata; 1, 192 and 0 are for an NVMe disk");
    EXPECT_EQ(refusal("[disk0]\ntype = sata\nvendor = ata\nvendor_lock = 1\n"),
              "m.ini:6: disk 0: vendor_lock is for an NVMe disk: the vendor ATA protocol has no enable vendor mode");
    // Behind a bridge the inner disk decides.
    EXPECT_EQ(refusal("[disk3]\ntype = usb\nbridge = usb-sata\nvendor = 192\n"),
              "m.ini:6: disk 3: a SATA disk takes vendor = ata; 1, 192 and 0 are for an NVMe disk");
    EXPECT_TRUE(parse_sim_config("[disk2]\ntype = usb\nbridge = asm2362\nvendor = 0\n"));
}

}  // namespace
}  // namespace tb::sim
