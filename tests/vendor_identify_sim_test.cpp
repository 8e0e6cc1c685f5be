// The vendor identification and the send path end to end on the simulated
// machine's vendor-capable controllers (each generation, ROM mode, the
// manufacturing record, the SATA disk) and on its plain disks.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "disk/disk_record.h"
#include "disk/nvme_transport.h"
#include "sim_test_helpers.h"
#include "tests/test_support.h"
#include "vendor/vendor_identify.h"
#include "vendor/vendor_records.h"
#include "vendor/vendor_send.h"

namespace tb {
namespace {

std::vector<uint32_t> slept;

class VendorIdentifySim : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::fresh_slot() + "/sim";
        slept.clear();
        set_nvme_sleeper([](uint32_t ms) { slept.push_back(ms); });
    }
    void TearDown() override {
        set_nvme_sleeper(nullptr);
        set_disk_platform(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    // The first disk of a machine with this one disk section.
    DiskRecord disk(const std::string& section) {
        EXPECT_GE(sim::test::install_machine(folder_, section), 1);
        return disk_table().records[0];
    }
    std::string folder_;
};

TEST_F(VendorIdentifySim, EachGenerationIsFoundWithItsSoc) {
    struct Row {
        const char* vendor;
        int selector;
    } rows[] = {{"1", 1}, {"0", 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.vendor);
        DiskRecord r = disk(std::string("[disk1]\ntype = nvme\ncapacity = 8GB\nvendor = ") + row.vendor +
                            "\nvendor_soc = 0x2262\n");
        EXPECT_EQ(identify_maker_controller(r), 0x2262u);
        EXPECT_EQ(r.command_set, row.selector);
        EXPECT_EQ(r.firmware_kind, 3);
        EXPECT_FALSE(r.firmware_revision2.empty());
        // The operation the disk was identified for goes through.
        std::vector<uint8_t> data(4096);
        ASSERT_EQ(send_vendor_quietly(r, VendorOp::DriveInformation, {}, data), 0);
        auto info = decode_drive_information(data);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->soc_id, 0x2262);
    }
}

TEST_F(VendorIdentifySim, RomModeReportsTheSocThroughIdentify) {
    DiskRecord r = disk("[disk1]\ntype = nvme\ncapacity = 8GB\nvendor = 1\nvendor_soc = 0x2263\nvendor_rom = 1\n");
    EXPECT_EQ(identify_maker_controller(r), 0x2263u);
    EXPECT_EQ(r.firmware_kind, 0);
    EXPECT_EQ(r.command_set, 0);
}

TEST_F(VendorIdentifySim, ManufacturingRecordWhenTheDriveInformationIsRefused) {
    DiskRecord r = disk(
        "[disk1]\ntype = nvme\ncapacity = 8GB\nvendor = 0\nvendor_soc = 0x2264\nvendor_drive_info = 0\n"
        "vendor_mpinfo = 1768\nvendor_word = 256\n");
    EXPECT_EQ(identify_maker_controller(r), 0x2264u);
    EXPECT_EQ(r.firmware_kind, 103);
    EXPECT_EQ(r.vendor_word, 256u);
    EXPECT_EQ(r.command_set, 0);
}

TEST_F(VendorIdentifySim, PlainDiskRefusesEverythingAndStaysUnidentified) {
    DiskRecord r = disk("[disk1]\ntype = nvme\ncapacity = 8GB\n");
    EXPECT_EQ(identify_maker_controller(r), 0u);
    EXPECT_EQ(r.command_set, 0);
    EXPECT_EQ(r.firmware_kind, 9999);
    EXPECT_TRUE(slept.empty());  // another vendor id than the maker's: asked once
    r.command_set = 1;
    std::vector<uint8_t> data(4096);
    EXPECT_EQ(send_vendor_quietly(r, VendorOp::DriveInformation, {}, data), -74);
}

TEST_F(VendorIdentifySim, PlainDiskWithTheMakersVendorIdIsAskedThreeMoreTimes) {
    DiskRecord r = disk("[disk1]\ntype = nvme\ncapacity = 8GB\nvid = 0x1F9B\n");
    ASSERT_EQ(r.pci_vendor_id, kMakerPciVendorId);
    EXPECT_EQ(identify_maker_controller(r), 0u);
    EXPECT_EQ(slept, (std::vector<uint32_t>{500, 500, 500}));
}

TEST_F(VendorIdentifySim, SataDiskByTheVendorAtaProtocol) {
    DiskRecord r = disk("[disk1]\ntype = sata\ncapacity = 8GB\nvendor = ata\nvendor_soc = 0x2265\n");
    ASSERT_TRUE(is_ata_protocol(r.access_protocol));
    EXPECT_EQ(identify_maker_controller(r), 0x2265u);
    EXPECT_EQ(r.firmware_kind, 3);
    // A plain SATA disk refuses the protocol.
    r = disk("[disk1]\ntype = sata\ncapacity = 8GB\n");
    EXPECT_EQ(identify_maker_controller(r), 0u);
    EXPECT_EQ(r.firmware_kind, -1);
}

}  // namespace
}  // namespace tb
