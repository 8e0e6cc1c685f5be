// The simulated SATA disk with `vendor = ata`: the vendor ATA protocol's
// operations through DiskDevice::ata(), the ATA-only ones, and the plain SATA
// disks that abort them all.
#include <gtest/gtest.h>

#include "disk/ata_command.h"
#include "platform/sim/sim_vendor_ata.h"
#include "sim_test_helpers.h"
#include "vendor/ata_vendor_protocol.h"
#include "vendor/vendor_records.h"

namespace tb::sim::test {
namespace {

const std::string kVendorSata = "[disk0]\ntype = sata\ncapacity = 8GB\nvendor = ata\nvendor_soc = 0x2511\n";

// Sends the task files in order; false at the first one that fails.
bool run(DiskDevice& d, const std::vector<tb::AtaCommand>& commands) {
    if (commands.empty()) return false;
    for (const auto& c : commands) {
        AtaPassThrough r = build_ata_pass_through(c);
        EXPECT_EQ(d.ata(r), DeviceStatus::Ok);
        if (!ata_ok(r)) return false;
    }
    return true;
}

bool send(DiskDevice& d, VendorOp op, const VendorArgs& args = {}, std::span<uint8_t> data = {}) {
    return run(d, ata_vendor_commands(op, args, data).commands);
}

std::vector<uint8_t> read_record(DiskDevice& d, VendorOp op, const VendorArgs& args = {}) {
    std::vector<uint8_t> buf(4096, 0xEE);
    EXPECT_TRUE(send(d, op, args, buf)) << vendor_op_name(op);
    return buf;
}

std::vector<uint8_t> identify_device(DiskDevice& d) {
    std::vector<uint8_t> id(512, 0);
    auto r = ata_request(0xEC, kAtaPioIn, 0, 1, 0, id);
    EXPECT_EQ(d.ata(r), DeviceStatus::Ok);
    return id;
}

uint64_t identify_sectors(DiskDevice& d) {
    auto id = identify_device(d);
    return get_le64(id, 200);  // words 100-103
}

std::vector<VendorEvent> event_log(DiskDevice& d) {
    std::vector<uint8_t> buf(4096, 0);
    EXPECT_TRUE(run(d, ata_only_commands(AtaOnlyOp::ReadEventLog, buf, 0)));
    auto events = decode_event_log(buf);
    EXPECT_TRUE(events);
    return events ? *events : std::vector<VendorEvent>{};
}

TEST(SimVendorAta, DriveInformationAndRecords) {
    Bench b(kVendorSata);
    auto d = b.drive(0);
    auto info = decode_drive_information(read_record(*d, VendorOp::DriveInformation));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->soc_id, 0x2511);
    EXPECT_TRUE(decode_manufacturing_information(read_record(*d, VendorOp::ManufacturingInfo)));
    EXPECT_TRUE(decode_grown_defects(read_record(*d, VendorOp::GrownDefectList)));
    auto dies = decode_die_defects(read_record(*d, VendorOp::DieGrownDefectList, {.b = 2, .c = 3}));
    ASSERT_TRUE(dies);
    ASSERT_EQ(dies->size(), 3u);
    EXPECT_EQ((*dies)[0].die, 2);
    EXPECT_TRUE(decode_otp(read_record(*d, VendorOp::OtpIdentifier)));
    EXPECT_EQ(read_record(*d, VendorOp::ReconstructionStatus)[0], 0x5A);
}

TEST(SimVendorAta, BrandNewAndCleanSmart) {
    Bench b(kVendorSata);
    auto d = b.drive(0);
    auto data = pattern(4096, 5);
    auto w = ata_request(0x35, kAtaDmaOut | kAtaExt, 0, 8, 64, data);
    ASSERT_EQ(d->ata(w), DeviceStatus::Ok);
    ASSERT_TRUE(ata_ok(w));
    ASSERT_GT(b.machine().disk(0)->sata_disk()->counters().sectors_written, 0u);
    ASSERT_TRUE(send(*d, VendorOp::CleanSmart));
    EXPECT_EQ(b.machine().disk(0)->sata_disk()->counters().sectors_written, 0u);
    EXPECT_EQ(b.file_bytes(0, 64 * 512, 4096), data);  // clean SMART keeps the data

    ASSERT_TRUE(send(*d, VendorOp::BrandNew));
    EXPECT_EQ(b.file_bytes(0, 64 * 512, 4096), std::vector<uint8_t>(4096, 0));
    EXPECT_EQ(read_record(*d, VendorOp::DriveInformation)[1], kDriveNotReady);
    EXPECT_EQ(read_record(*d, VendorOp::DriveInformation)[1], kDriveNotReady);
    EXPECT_EQ(read_record(*d, VendorOp::DriveInformation)[1], 0);
    auto events = event_log(*d);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().code, 0x0031);  // brand new
}

TEST(SimVendorAta, KillFirmwareAndForceBack) {
    Bench b(kVendorSata);
    auto d = b.drive(0);
    const uint64_t sectors = identify_sectors(*d);
    ASSERT_GT(sectors, 0u);
    ASSERT_TRUE(send(*d, VendorOp::RecoveryMode));
    EXPECT_EQ(identify_sectors(*d), 0u);
    std::vector<uint8_t> one(512, 0);
    auto r = ata_request(0x25, kAtaDmaIn | kAtaExt, 0, 1, 0, one);
    ASSERT_EQ(d->ata(r), DeviceStatus::Ok);
    EXPECT_FALSE(ata_ok(r));
    EXPECT_EQ(b.machine().discover()[0].length_bytes, 0u);
    ASSERT_TRUE(send(*d, VendorOp::ForceFirmwareMode, {.a = 1}));
    EXPECT_EQ(identify_sectors(*d), sectors);
}

TEST(SimVendorAta, ArgumentsComeFromTheParameterSector) {
    Bench b(kVendorSata);
    auto d = b.drive(0);
    auto commands = ata_vendor_commands(VendorOp::ForceFirmwareMode, {.a = 0}, {});
    ASSERT_EQ(commands.size(), 2u);
    // The operation alone, without its parameter sector, is aborted.
    EXPECT_FALSE(run(*d, {commands[1]}));
    EXPECT_GT(identify_sectors(*d), 0u);
    EXPECT_TRUE(run(*d, commands.commands));
    EXPECT_EQ(identify_sectors(*d), 0u);
}

TEST(SimVendorAta, ConfigurationWriteChecksTheChecksumAndNamesTheDiskAfterPowerCycle) {
    Bench b(kVendorSata, true);
    auto d = b.drive(0);
    auto config = read_record(*d, VendorOp::FwConfigRead);
    ASSERT_TRUE(fw_config_checksum_ok(config));
    ASSERT_EQ(set_fw_config_item(config, *find_fw_config_item("vendor_model_name"), "ATA VENDOR MODEL"), 0);
    seal_fw_config(config);
    EXPECT_FALSE(send(*d, VendorOp::FwConfigWrite, {.checksum = fw_config_checksum(config) ^ 1}, config));
    EXPECT_NE(read_record(*d, VendorOp::FwConfigRead), config);
    ASSERT_TRUE(send(*d, VendorOp::FwConfigWrite, {.checksum = fw_config_checksum(config)}, config));
    EXPECT_EQ(read_record(*d, VendorOp::FwConfigRead), config);
    b.machine().power_cycle(0);
    d = b.drive(0);
    EXPECT_EQ(ata_string(identify_device(*d), 27, 8), "ATA VENDOR MODEL");
    b.rebuild(kVendorSata);
    d = b.drive(0);
    EXPECT_EQ(read_record(*d, VendorOp::FwConfigRead), config);
    EXPECT_EQ(ata_string(identify_device(*d), 27, 8), "ATA VENDOR MODEL");
}

TEST(SimVendorAta, CleanEventLogAndTrainDdrEye) {
    Bench b(kVendorSata, true);
    auto d = b.drive(0);
    ASSERT_TRUE(send(*d, VendorOp::CleanSmart));
    ASSERT_FALSE(event_log(*d).empty());
    ASSERT_TRUE(run(*d, ata_only_commands(AtaOnlyOp::TrainDdrEye)));
    ASSERT_TRUE(run(*d, ata_only_commands(AtaOnlyOp::CleanEventLog)));
    EXPECT_TRUE(event_log(*d).empty());
    b.rebuild(kVendorSata);
    d = b.drive(0);
    EXPECT_TRUE(event_log(*d).empty());
    EXPECT_EQ(b.machine().disk(0)->sata_disk()->vendor_commands()->vendor().state().ddr_trainings, 1u);
}

TEST(SimVendorAta, PlainSataDiskAbortsEveryVendorCommand) {
    Bench b;  // the built-in machine's SATA disk speaks no vendor protocol
    auto d = b.drive(0);
    std::vector<uint8_t> buf(4096, 0);
    for (int i = 0; i < kVendorOpCount; ++i) {
        auto op = static_cast<VendorOp>(i);
        auto commands = ata_vendor_commands(op, {}, buf);
        if (commands.empty()) commands = ata_vendor_commands(op, {}, {});
        for (const auto& c : commands) {
            AtaPassThrough r = build_ata_pass_through(c);
            ASSERT_EQ(d->ata(r), DeviceStatus::Ok);
            EXPECT_FALSE(ata_ok(r)) << vendor_op_name(op);
        }
    }
    for (auto op : {AtaOnlyOp::CleanEventLog, AtaOnlyOp::TrainDdrEye})
        EXPECT_FALSE(run(*d, ata_only_commands(op)));
    EXPECT_GT(identify_sectors(*d), 0u);
}

}  // namespace
}  // namespace tb::sim::test
