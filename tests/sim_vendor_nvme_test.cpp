// The simulated vendor-capable NVMe controller: every operation of each
// generation through DiskDevice::nvme(), the state it keeps across a restart
// of the machine, and the plain disks that refuse them all.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/block_storage.h"
#include "platform/sim/sim_block_storage.h"
#include "sim_test_helpers.h"
#include "vendor/vendor_operation.h"
#include "vendor/vendor_records.h"

namespace tb::sim::test {
namespace {

constexpr uint16_t kOk = 0, kInvalidOpcode = 0x4001, kInvalidField = 0x4002, kSequenceError = 0x400C,
                   kNotReady = 0x0082;

std::string vendor_disk(const std::string& selector, const std::string& extra = {}) {
    return "[disk1]\ntype = nvme\ncapacity = 8GB\nvendor = " + selector + "\n" + extra;
}

NvmePassThrough pass_through(const NvmeRequestSpec& spec, std::span<uint8_t> data) {
    NvmePassThrough r;
    r.command = spec.command.bytes;
    r.dir = spec.dir;
    if (spec.dir != DataDir::None) r.data = data.first(std::min<size_t>(data.size(), spec.length));
    return r;
}

// Sends every command of `op` under `selector`; the status of the first
// command that failed, else of the last one.
uint16_t send(DiskDevice& d, int selector, VendorOp op, const VendorArgs& args = {}, std::span<uint8_t> data = {}) {
    auto steps = vendor_steps(selector, op, args, static_cast<uint32_t>(data.empty() ? 4096 : data.size()));
    EXPECT_FALSE(steps.empty()) << vendor_op_name(op);
    std::vector<uint8_t> scratch(4096, 0);
    uint16_t status = 0xFFFF;
    for (const auto& step : steps) {
        auto r = pass_through(step.request, data.empty() ? std::span<uint8_t>(scratch) : data);
        EXPECT_EQ(d.nvme(r), DeviceStatus::Ok);
        status = status_of(r);
        if (status != kOk) break;
    }
    return status;
}

std::vector<uint8_t> read_record(DiskDevice& d, int selector, VendorOp op, const VendorArgs& args = {},
                                 uint16_t* status = nullptr) {
    std::vector<uint8_t> buf(4096, 0xEE);
    uint16_t s = send(d, selector, op, args, buf);
    if (status) *status = s;
    else EXPECT_EQ(s, kOk) << vendor_op_name(op);
    return buf;
}

uint64_t smart_counter(DiskDevice& d, size_t at) { return get_le64(get_log(d, 0x02), at); }

void write_some_data(DiskDevice& d) {
    auto data = pattern(8 * 512, 9);
    ASSERT_EQ(nvme_io(d, 0x01, 100, 8, data), kOk);
}

class SimVendorNvme : public ::testing::TestWithParam<int> {
  protected:
    int selector() const { return GetParam(); }
    std::string section(const std::string& extra = {}) const { return vendor_disk(std::to_string(GetParam()), extra); }
};

INSTANTIATE_TEST_SUITE_P(EachGeneration, SimVendorNvme, ::testing::Values(1, 192, 0));

TEST_P(SimVendorNvme, RefusesTheCommandsOfTheOtherGenerations) {
    Bench b(section());
    auto d = b.drive(1);
    for (int other : {1, 192, 0}) {
        if (other == selector()) continue;
        for (int i = 0; i < kVendorOpCount; ++i) {
            auto op = static_cast<VendorOp>(i);
            for (const auto& step : vendor_steps(other, op)) {
                if (decode_vendor_command(selector(), step.request.command.bytes)) continue;  // shared encoding
                std::vector<uint8_t> buf(4096, 0);
                auto r = pass_through(step.request, buf);
                ASSERT_EQ(d->nvme(r), DeviceStatus::Ok);
                EXPECT_EQ(status_of(r), kInvalidOpcode) << other << " " << vendor_op_name(op);
            }
        }
    }
}

TEST_P(SimVendorNvme, DriveInformationCarriesTheSocAndTheFirmware) {
    Bench b(section("vendor_soc = 0x1234\nfirmware = AB12CD34\n"));
    auto d = b.drive(1);
    auto info = decode_drive_information(read_record(*d, selector(), VendorOp::DriveInformation));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->soc_id, 0x1234);
    EXPECT_EQ(info->ready, 0);
    EXPECT_EQ(info->firmware_revision, "AB12CD34");
    EXPECT_EQ(info->firmware_source, 1);
}

TEST_P(SimVendorNvme, BrandNewClearsSmartAndMappingAndIsNotReadyForTwoReads) {
    Bench b(section());
    auto d = b.drive(1);
    write_some_data(*d);
    b.machine().advance_time(3 * 3600);
    ASSERT_GT(smart_counter(*d, 80), 0u);  // host write commands
    ASSERT_GT(smart_counter(*d, 128), 0u); // power-on hours

    ASSERT_EQ(send(*d, selector(), VendorOp::BrandNew), kOk);
    EXPECT_EQ(smart_counter(*d, 48), 0u);   // data units written
    EXPECT_EQ(smart_counter(*d, 80), 0u);
    EXPECT_EQ(smart_counter(*d, 112), 0u);  // power cycles
    EXPECT_EQ(smart_counter(*d, 128), 0u);
    std::vector<uint8_t> back(8 * 512, 0xEE);
    ASSERT_EQ(nvme_io(*d, 0x02, 100, 8, back), kOk);
    EXPECT_EQ(back, std::vector<uint8_t>(8 * 512, 0));

    EXPECT_EQ(read_record(*d, selector(), VendorOp::DriveInformation)[1], kDriveNotReady);
    EXPECT_EQ(read_record(*d, selector(), VendorOp::DriveInformation)[1], kDriveNotReady);
    EXPECT_EQ(read_record(*d, selector(), VendorOp::DriveInformation)[1], 0);
}

TEST_P(SimVendorNvme, CleanSmartClearsTheCountersAndKeepsTheData) {
    Bench b(section());
    auto d = b.drive(1);
    write_some_data(*d);
    ASSERT_EQ(send(*d, selector(), VendorOp::CleanSmart), kOk);
    EXPECT_EQ(smart_counter(*d, 80), 0u);
    std::vector<uint8_t> back(8 * 512, 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 100, 8, back), kOk);
    EXPECT_EQ(back, pattern(8 * 512, 9));
}

TEST_P(SimVendorNvme, FtlVirginMakesEveryPathReadZeros) {
    Bench b(section());
    auto d = b.drive(1);
    write_some_data(*d);
    ASSERT_EQ(send(*d, selector(), VendorOp::FtlVirgin), kOk);
    std::vector<uint8_t> back(8 * 512, 0xEE);
    ASSERT_EQ(nvme_io(*d, 0x02, 100, 8, back), kOk);
    EXPECT_EQ(back, std::vector<uint8_t>(8 * 512, 0));
    EXPECT_EQ(b.file_bytes(1, 100 * 512, 4096), std::vector<uint8_t>(4096, 0));
    EXPECT_EQ(smart_counter(*d, 80), 1u);  // the counters stay
}

TEST_P(SimVendorNvme, KillFirmwareShowsCapacityZeroUntilForcedBack) {
    Bench b(section("vendor_soc = 0x2263\nssvid = 0x1F9A\n"));
    auto d = b.drive(1);
    write_some_data(*d);
    ASSERT_EQ(send(*d, selector(), VendorOp::RecoveryMode), kOk);
    auto id = identify(*d, 1);
    EXPECT_EQ(get_le64(id, 280), 0u);      // TNVMCAP
    EXPECT_EQ(get_le16(id, 2), 0x2263);    // the ROM code reports its SoC
    EXPECT_EQ(get_le64(identify(*d, 0, 1), 0), 0u);  // NSZE
    std::vector<uint8_t> back(512, 0);
    EXPECT_EQ(nvme_io(*d, 0x02, 0, 1, back), kNotReady);
    auto disks = b.machine().discover();
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(disks[0].length_bytes, 0u);
    EXPECT_EQ(decode_drive_information(read_record(*d, selector(), VendorOp::DriveInformation))->firmware_source, 0);
    // A power cycle does not bring the firmware back.
    b.machine().power_cycle(1, true);
    d = b.drive(1);
    EXPECT_EQ(get_le64(identify(*d, 1), 280), 0u);

    EXPECT_EQ(send(*d, selector(), VendorOp::ForceFirmwareMode, {.a = 7}), kInvalidField);
    ASSERT_EQ(send(*d, selector(), VendorOp::ForceFirmwareMode, {.a = 1}), kOk);
    id = identify(*d, 1);
    EXPECT_EQ(get_le64(id, 280), 8012390400ull);
    EXPECT_EQ(get_le16(id, 2), 0x1F9A);
    ASSERT_EQ(nvme_io(*d, 0x02, 100, 8, back = std::vector<uint8_t>(8 * 512)), kOk);
    EXPECT_EQ(back, pattern(8 * 512, 9));  // the data outlived the ROM mode
    // Mode 0 is the ROM code again.
    ASSERT_EQ(send(*d, selector(), VendorOp::ForceFirmwareMode, {.a = 0}), kOk);
    EXPECT_EQ(get_le64(identify(*d, 1), 280), 0u);
    // The ROM code also takes the generation-0 forms, as the identification
    // names a ROM-mode drive's command set 0; the firmware does not.
    std::vector<uint8_t> info(4096, 0);
    EXPECT_EQ(send(*d, 0, VendorOp::DriveInformation, {}, info), kOk);
    EXPECT_EQ(info[0], 0x5A);
    ASSERT_EQ(send(*d, 0, VendorOp::ForceFirmwareMode, {.a = 1}), kOk);
    EXPECT_EQ(get_le64(identify(*d, 1), 280), 8012390400ull);
    if (selector() == 1) EXPECT_NE(send(*d, 0, VendorOp::ForceFirmwareMode, {.a = 0}), kOk);
}

TEST_P(SimVendorNvme, ThinCapacityChangesTheCapacityEveryoneSees) {
    Bench b(section());
    auto d = b.drive(1);
    ASSERT_EQ(send(*d, selector(), VendorOp::ThinCapacity, {.a = 4, .b = 0}), kOk);
    const uint64_t four_gb = (1953504ull * 4 + 21168) * 512;
    EXPECT_EQ(get_le64(identify(*d, 1), 280), four_gb);
    EXPECT_EQ(get_le64(identify(*d, 0, 1), 0), four_gb / 512);
    EXPECT_EQ(b.machine().discover()[0].length_bytes, four_gb);
    std::vector<uint8_t> one(512, 0);
    EXPECT_EQ(nvme_io(*d, 0x02, four_gb / 512, 1, one), 0x4080);  // past the new end
    EXPECT_EQ(nvme_io(*d, 0x02, four_gb / 512 - 1, 1, one), kOk);

    ASSERT_EQ(send(*d, selector(), VendorOp::ThinCapacity, {.a = 2, .b = 1}), kOk);
    EXPECT_EQ(get_le64(identify(*d, 1), 280), 2ull << 30);
    EXPECT_EQ(send(*d, selector(), VendorOp::ThinCapacity, {.a = 9, .b = 0}), kInvalidField);  // past the medium
    EXPECT_EQ(send(*d, selector(), VendorOp::ThinCapacity, {.a = 1, .b = 2}), kInvalidField);  // no such unit
    EXPECT_EQ(get_le64(identify(*d, 1), 280), 2ull << 30);
    ASSERT_EQ(send(*d, selector(), VendorOp::ThinCapacity, {.a = 0, .b = 0}), kOk);
    EXPECT_EQ(get_le64(identify(*d, 1), 280), 8012390400ull);
}

TEST_P(SimVendorNvme, KeepSpareBlocksShowsInTheDriveInformation) {
    Bench b(section());
    auto d = b.drive(1);
    EXPECT_EQ(read_record(*d, selector(), VendorOp::DriveInformation)[96], 0);
    ASSERT_EQ(send(*d, selector(), VendorOp::KeepSpareBlocks), kOk);
    EXPECT_EQ(read_record(*d, selector(), VendorOp::DriveInformation)[96], 1);
}

TEST_P(SimVendorNvme, ConfigurationWriteNamesTheControllerFromTheNextReset) {
    Bench b(section("model = SIM MODEL A\nserial = SERIAL-A\nfirmware = FWA00001\n"));
    auto d = b.drive(1);
    auto config = read_record(*d, selector(), VendorOp::FwConfigRead);
    ASSERT_TRUE(fw_config_checksum_ok(config));
    EXPECT_EQ(fw_config_item_text(config, *find_fw_config_item("vendor_model_name")), "SIM MODEL A");
    ASSERT_EQ(set_fw_config_item(config, *find_fw_config_item("vendor_model_name"), "SIM MODEL B"), 0);
    ASSERT_EQ(set_fw_config_item(config, *find_fw_config_item("drv_serial_number"), "SERIAL-B"), 0);
    seal_fw_config(config);
    ASSERT_EQ(send(*d, selector(), VendorOp::FwConfigWrite, {.checksum = fw_config_checksum(config)}, config), kOk);
    EXPECT_EQ(read_record(*d, selector(), VendorOp::FwConfigRead), config);
    EXPECT_EQ(text_at(identify(*d, 1), 24, 11), "SIM MODEL A");  // not before a reset
    ASSERT_TRUE(b.platform().set_device_enabled(1, false));
    ASSERT_TRUE(b.platform().set_device_enabled(1, true));
    d = b.drive(1);
    auto id = identify(*d, 1);
    EXPECT_EQ(text_at(id, 24, 11), "SIM MODEL B");
    EXPECT_EQ(text_at(id, 4, 8), "SERIAL-B");
    EXPECT_EQ(text_at(id, 64, 8), "FWA00001");
}

TEST_P(SimVendorNvme, ConfigurationWithABadChecksumIsRefusedAndNothingChanges) {
    Bench b(section());
    auto d = b.drive(1);
    auto before = read_record(*d, selector(), VendorOp::FwConfigRead);
    auto config = before;
    ASSERT_EQ(set_fw_config_item(config, *find_fw_config_item("vendor_model_name"), "OTHER"), 0);
    seal_fw_config(config);
    // The command's checksum is not the record's.
    EXPECT_EQ(send(*d, selector(), VendorOp::FwConfigWrite, {.checksum = fw_config_checksum(config) + 1}, config),
              kInvalidField);
    // The command's checksum matches, but the record's own does not.
    auto unsealed = config;
    unsealed[200] ^= 0x55;
    EXPECT_EQ(send(*d, selector(), VendorOp::FwConfigWrite, {.checksum = fw_config_checksum(unsealed)}, unsealed),
              kInvalidField);
    EXPECT_EQ(read_record(*d, selector(), VendorOp::FwConfigRead), before);
    b.machine().power_cycle(1);
    d = b.drive(1);
    EXPECT_EQ(read_record(*d, selector(), VendorOp::FwConfigRead), before);
}

TEST_P(SimVendorNvme, ManufacturingInformationInBothForms) {
    for (const char* form : {"1768", "4096"}) {
        Bench b(section(std::string("vendor_mpinfo = ") + form + "\nvendor_soc = 0x5678\nvendor_word = 300\n"));
        auto d = b.drive(1);
        auto mp = read_record(*d, selector(), VendorOp::ManufacturingInfo);
        EXPECT_EQ(get_le32(mp, 280), static_cast<uint32_t>(std::stoul(form)));
        EXPECT_EQ(get_le16(mp, 1582), 0x5678);
        EXPECT_EQ(get_le16(mp, 300), 300);
        EXPECT_TRUE(decode_manufacturing_information(mp));
        uint16_t status = 0;
        read_record(*d, selector(), VendorOp::ManufacturingInfo, {.a = 5}, &status);
        EXPECT_EQ(status, kInvalidField);
    }
    Bench none(section("vendor_mpinfo = none\n"));
    auto d = none.drive(1);
    uint16_t status = 0;
    read_record(*d, selector(), VendorOp::ManufacturingInfo, {}, &status);
    EXPECT_EQ(status, kInvalidOpcode);
}

TEST_P(SimVendorNvme, RecordsDecodeByTheirLayouts) {
    Bench b(section());
    auto d = b.drive(1);
    auto grown = decode_grown_defects(read_record(*d, selector(), VendorOp::GrownDefectList));
    ASSERT_TRUE(grown);
    EXPECT_FALSE(grown->empty());
    auto dies = decode_die_defects(read_record(*d, selector(), VendorOp::DieGrownDefectList));
    ASSERT_TRUE(dies);
    EXPECT_EQ(dies->size(), 8u);
    uint32_t total = 0;
    for (const auto& die : *dies) total += die.grown_blocks;
    EXPECT_EQ(total, grown->size());
    EXPECT_TRUE(decode_otp(read_record(*d, selector(), VendorOp::OtpIdentifier)));
    auto recon = read_record(*d, selector(), VendorOp::ReconstructionStatus);
    EXPECT_EQ(recon[0], 0x5A);
    EXPECT_TRUE(decode_reconstruction(recon));
    auto vpd = decode_vpd(read_record(*d, selector(), VendorOp::VpdData));
    ASSERT_TRUE(vpd);
    EXPECT_EQ(vpd->serial_number, "SIMN0000000000000001");
}

TEST_P(SimVendorNvme, PcieDataIsWrittenAndReadBack) {
    Bench b(section());
    auto d = b.drive(1);
    auto data = pattern(4096, 0x31);
    ASSERT_EQ(send(*d, selector(), VendorOp::PcieDataWrite, {}, data), kOk);
    EXPECT_EQ(read_record(*d, selector(), VendorOp::PcieDataRead), data);
}

TEST_P(SimVendorNvme, CrashDumpComesChunkByChunkAndDecodes) {
    Bench b(section());
    auto d = b.drive(1);
    auto first = read_record(*d, selector(), VendorOp::CrashDumpChunk);
    uint32_t total = crash_dump_total_bytes(first);
    ASSERT_GT(total, 4096u);
    std::vector<uint8_t> dump = first;
    while (dump.size() < total) {
        auto chunk = read_record(*d, selector(), VendorOp::CrashDumpChunk);
        dump.insert(dump.end(), chunk.begin(), chunk.end());
    }
    auto decoded = decode_crash_dump(dump);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->sections.size(), 3u);
    // The next read starts over.
    EXPECT_EQ(read_record(*d, selector(), VendorOp::CrashDumpChunk), first);
}

TEST_P(SimVendorNvme, CriticalLogChunksByIndex) {
    Bench b(section());
    auto d = b.drive(1);
    auto chunk0 = read_record(*d, selector(), VendorOp::CriticalLogChunk, {.a = 0});
    uint32_t chunks = critical_log_chunks(chunk0);
    ASSERT_EQ(chunks, 2u);
    auto chunk1 = read_record(*d, selector(), VendorOp::CriticalLogChunk, {.a = 1});
    std::vector<uint8_t> log = chunk0;
    log.insert(log.end(), chunk1.begin(), chunk1.end());
    auto entries = decode_critical_log(log);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 150u);
    uint16_t status = 0;
    read_record(*d, selector(), VendorOp::CriticalLogChunk, {.a = 2}, &status);
    EXPECT_EQ(status, kInvalidField);
}

TEST_P(SimVendorNvme, StateOutlivesARestartOfTheMachine) {
    const std::string disks = section();
    Bench b(disks, true);
    {
        auto d = b.drive(1);
        write_some_data(*d);
        ASSERT_EQ(send(*d, selector(), VendorOp::BrandNew), kOk);
        ASSERT_EQ(send(*d, selector(), VendorOp::KeepSpareBlocks), kOk);
        ASSERT_EQ(send(*d, selector(), VendorOp::ThinCapacity, {.a = 4}), kOk);
        auto config = read_record(*d, selector(), VendorOp::FwConfigRead);
        ASSERT_EQ(set_fw_config_item(config, *find_fw_config_item("vendor_model_name"), "KEPT MODEL"), 0);
        seal_fw_config(config);
        ASSERT_EQ(send(*d, selector(), VendorOp::FwConfigWrite, {.checksum = fw_config_checksum(config)}, config), kOk);
        auto pcie = pattern(4096, 0x44);
        ASSERT_EQ(send(*d, selector(), VendorOp::PcieDataWrite, {}, pcie), kOk);
        ASSERT_EQ(send(*d, selector(), VendorOp::RecoveryMode), kOk);
    }
    b.rebuild(disks);
    auto d = b.drive(1);
    EXPECT_EQ(get_le64(identify(*d, 1), 280), 0u);  // still in ROM mode
    auto info = read_record(*d, selector(), VendorOp::DriveInformation);
    EXPECT_EQ(info[1], kDriveNotReady);             // brand new's not-ready reads are counted across the restart
    EXPECT_EQ(info[96], 1);                         // spare blocks kept
    EXPECT_EQ(read_record(*d, selector(), VendorOp::PcieDataRead), pattern(4096, 0x44));
    ASSERT_EQ(send(*d, selector(), VendorOp::ForceFirmwareMode, {.a = 1}), kOk);
    EXPECT_EQ(get_le64(identify(*d, 1), 280), (1953504ull * 4 + 21168) * 512);  // the thin capacity
    EXPECT_EQ(smart_counter(*d, 80), 0u);
    b.machine().power_cycle(1);
    d = b.drive(1);
    EXPECT_EQ(text_at(identify(*d, 1), 24, 10), "KEPT MODEL");
    std::vector<uint8_t> back(8 * 512, 0xEE);
    ASSERT_EQ(nvme_io(*d, 0x02, 100, 8, back), kOk);
    EXPECT_EQ(back, std::vector<uint8_t>(8 * 512, 0));
}

TEST_P(SimVendorNvme, VpdAndPcieWriteNeedTheirFirstCommand) {
    Bench b(section());
    auto d = b.drive(1);
    auto vpd = vendor_steps(selector(), VendorOp::VpdData);
    ASSERT_EQ(vpd.size(), 2u);
    std::vector<uint8_t> buf(4096, 0);
    auto r = pass_through(vpd[1].request, buf);
    ASSERT_EQ(d->nvme(r), DeviceStatus::Ok);
    EXPECT_EQ(status_of(r), kSequenceError);
    auto pcie = vendor_steps(selector(), VendorOp::PcieDataWrite);
    if (pcie.size() == 2) {
        auto w = pass_through(pcie[1].request, buf);
        ASSERT_EQ(d->nvme(w), DeviceStatus::Ok);
        EXPECT_EQ(status_of(w), kSequenceError);
    }
}

TEST_P(SimVendorNvme, DataCommandsNeedABufferOfTheirLength) {
    Bench b(section());
    auto d = b.drive(1);
    auto steps = vendor_steps(selector(), VendorOp::DriveInformation);
    std::vector<uint8_t> small(512, 0);
    NvmePassThrough r;
    r.command = steps[0].request.command.bytes;
    r.dir = DataDir::In;
    r.data = small;
    ASSERT_EQ(d->nvme(r), DeviceStatus::Ok);
    EXPECT_EQ(status_of(r), kInvalidField);
}

TEST_P(SimVendorNvme, WithTheLockEveryCommandWaitsForVendorMode) {
    Bench b(section("vendor_lock = 1\n"));
    auto d = b.drive(1);
    uint16_t status = 0;
    read_record(*d, selector(), VendorOp::DriveInformation, {}, &status);
    EXPECT_EQ(status, kInvalidOpcode);
    ASSERT_EQ(send(*d, selector(), VendorOp::EnableVendorMode), kOk);
    read_record(*d, selector(), VendorOp::DriveInformation);
    b.machine().power_cycle(1);
    d = b.drive(1);
    read_record(*d, selector(), VendorOp::DriveInformation, {}, &status);
    EXPECT_EQ(status, kInvalidOpcode);
}

TEST(SimVendorNvmeOnly, SpiDebugInformationUnderSelectorOne) {
    Bench b(vendor_disk("1"));
    auto d = b.drive(1);
    auto page = read_record(*d, 1, VendorOp::SpiDebugInfo, {.b = 3});
    EXPECT_EQ(text_at(page, 0, 4), "SPID");
    EXPECT_EQ(get_le32(page, 4), 3u);
    uint16_t status = 0;
    read_record(*d, 1, VendorOp::SpiDebugInfo, {.b = 16}, &status);
    EXPECT_EQ(status, kInvalidField);
}

TEST(SimVendorNvmeOnly, LogPageE1AndIdentifyByte256FollowTheKeys) {
    Bench with(vendor_disk("1", "vendor_soc = 0x2262\n"));
    auto d = with.drive(1);
    auto e1 = get_log(*d, 0xE1, 4096);
    EXPECT_EQ(e1[0], 0x5A);
    EXPECT_EQ(get_le16(e1, 2), 0x2262);
    EXPECT_EQ(identify(*d, 1)[256] & 0x2, 0x2);

    Bench without(vendor_disk("0", "vendor_id_byte256 = 0\n"));
    d = without.drive(1);
    std::vector<uint8_t> buf(4096, 0);
    auto r = nvme_request(0x02, 0xFFFFFFFF, {0xE1u | (1023u << 16)}, DataDir::In, buf);
    ASSERT_EQ(d->nvme(r), DeviceStatus::Ok);
    EXPECT_EQ(status_of(r), 0x4109);  // invalid log page
    EXPECT_EQ(identify(*d, 1)[256] & 0x2, 0);

    Bench no_info(vendor_disk("0", "vendor_drive_info = 0\nvendor_rom = 1\n"));
    d = no_info.drive(1);
    uint16_t status = 0;
    read_record(*d, 0, VendorOp::DriveInformation, {}, &status);
    EXPECT_EQ(status, kInvalidOpcode);
    EXPECT_EQ(get_le64(identify(*d, 1), 280), 0u);  // started in ROM mode
}

TEST(SimVendorNvmeOnly, PlainDisksRefuseEveryVendorCommandAndChangeNothing) {
    Bench b;  // the built-in machine: no disk speaks the vendor commands
    auto d = b.drive(1);
    write_some_data(*d);
    auto id_before = identify(*d, 1);
    auto smart_before = get_log(*d, 0x02);
    for (int selector : {1, 192, 0}) {
        for (int i = 0; i < kVendorOpCount; ++i) {
            for (const auto& step : vendor_steps(selector, static_cast<VendorOp>(i))) {
                std::vector<uint8_t> buf(4096, 0);
                auto r = pass_through(step.request, buf);
                ASSERT_EQ(d->nvme(r), DeviceStatus::Ok);
                EXPECT_EQ(status_of(r), kInvalidOpcode) << selector << " " << vendor_op_name(static_cast<VendorOp>(i));
            }
        }
    }
    EXPECT_EQ(identify(*d, 1), id_before);
    auto smart_after = get_log(*d, 0x02);
    EXPECT_EQ(get_le64(smart_after, 80), get_le64(smart_before, 80));
    std::vector<uint8_t> back(8 * 512, 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 100, 8, back), kOk);
    EXPECT_EQ(back, pattern(8 * 512, 9));
}

// An ASMedia bridge's NVMe pass-through: command, data and completion phases.
uint16_t through_asmedia(DiskDevice& d, const NvmeRequestSpec& spec, std::span<uint8_t> data) {
    uint8_t dd = spec.dir == DataDir::None ? 0 : spec.dir == DataDir::In ? 1 : 2;
    std::vector<uint8_t> c(spec.command.bytes.begin(), spec.command.bytes.end());
    auto command = cdb({0xEA, 0x5A, 0x80, 0, dd, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 0}, DataDir::Out, c);
    EXPECT_EQ(d.scsi(command), DeviceStatus::Ok);
    uint32_t n = dd ? static_cast<uint32_t>(data.size()) : 0;
    auto transfer = cdb({static_cast<uint8_t>(dd == 2 ? 0xEA : 0xEB), 0x5A, 0x81, 0, dd, 0, 0, 0, 0, 0,
                         static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                         static_cast<uint8_t>(n), 0, 0},
                        dd ? spec.dir : DataDir::None, dd ? data : std::span<uint8_t>());
    EXPECT_EQ(d.scsi(transfer), DeviceStatus::Ok);
    std::vector<uint8_t> cq(16, 0);
    auto completion = cdb({0xEB, 0x5A, 0x82, 0, dd, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0}, DataDir::In, cq);
    EXPECT_EQ(d.scsi(completion), DeviceStatus::Ok);
    return static_cast<uint16_t>(get_le16(cq, 14) >> 1);
}

TEST(SimVendorNvmeOnly, VendorCommandsReachTheControllerBehindAUsbBridge) {
    Bench b("[disk2]\ntype = usb\nbridge = asm2362\ncapacity = 4GB\nvendor = 1\nvendor_soc = 0x3344\n");
    auto d = b.drive(2);
    ASSERT_TRUE(d);
    std::vector<uint8_t> info(4096, 0);
    ASSERT_EQ(through_asmedia(*d, vendor_steps(1, VendorOp::DriveInformation)[0].request, info), kOk);
    EXPECT_EQ(info[0], 0x5A);
    EXPECT_EQ(get_le16(info, 2), 0x3344);
    ASSERT_EQ(through_asmedia(*d, vendor_steps(1, VendorOp::ThinCapacity, {.a = 2})[0].request, {}), kOk);
    EXPECT_EQ(b.machine().discover()[0].length_bytes, (1953504ull * 2 + 21168) * 512);
    // A generation-0 command is refused as on the controller itself.
    EXPECT_EQ(through_asmedia(*d, vendor_steps(0, VendorOp::DriveInformation)[0].request, info), kInvalidOpcode);
}

TEST(SimVendorNvmeOnly, ARomModeControllerBehindABridgeHasNoMedium) {
    Bench b("[disk2]\ntype = usb\nbridge = asm2362\ncapacity = 4GB\nvendor = 1\nvendor_rom = 1\n");
    auto d = b.drive(2);
    ASSERT_TRUE(d);
    std::vector<uint8_t> capacity(8, 0);
    auto rc = cdb({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDir::In, capacity);
    ASSERT_EQ(d->scsi(rc), DeviceStatus::Ok);
    EXPECT_EQ(rc.scsi_status, 2);     // CHECK CONDITION, not a capacity of 2^32 blocks
    EXPECT_EQ(sense_key(rc), 0x02);   // NOT READY
    ASSERT_EQ(through_asmedia(*d, vendor_steps(1, VendorOp::ForceFirmwareMode, {.a = 1})[0].request, {}), kOk);
    rc = cdb({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDir::In, capacity);
    ASSERT_EQ(d->scsi(rc), DeviceStatus::Ok);
    EXPECT_EQ(rc.scsi_status, 0);
    EXPECT_EQ(get_be32(capacity, 0), (1953504u * 4 + 21168) - 1);
}

TEST(SimVendorNvmeOnly, TheBlockLayerSeesTheThinCapacityAndNoMediumInRomMode) {
    const std::string folder = tb::test::make_temp_dir("tamblor-vendor-blocks");
    ASSERT_EQ(install_machine(folder, vendor_disk("192")), 1);
    SimMachine* machine = current_sim_machine();
    ASSERT_NE(machine, nullptr);
    auto d = machine->open("\\\\.\\PHYSICALDRIVE1");
    ASSERT_TRUE(d);
    auto storage = make_sim_block_storage();
    StorageAddress where;
    where.disk_number = 1;
    where.path = "\\\\.\\PHYSICALDRIVE1";
    auto size_now = [&]() -> uint64_t {
        std::string error;
        auto target = storage->open_disk(where, &error);
        EXPECT_TRUE(target) << error;
        return target ? target->size_bytes() : UINT64_MAX;
    };
    EXPECT_EQ(size_now(), 8012390400ull);
    ASSERT_EQ(send(*d, 192, VendorOp::ThinCapacity, {.a = 3}), kOk);
    EXPECT_EQ(size_now(), (1953504ull * 3 + 21168) * 512);
    ASSERT_EQ(send(*d, 192, VendorOp::RecoveryMode), kOk);
    EXPECT_EQ(size_now(), 0u);
    d.reset();
    set_disk_platform(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(host_path(folder), ec);
}

}  // namespace
}  // namespace tb::sim::test
