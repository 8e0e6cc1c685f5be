// Transport selection and the internal NVMe operations, run against a fake
// machine that records what reaches the device.
#include <gtest/gtest.h>

#include <vector>

#include "disk/nvme_transport.h"
#include "tests/nvme_fakes.h"

namespace tb {
namespace {

constexpr char kDrive[] = "\\\\.\\PHYSICALDRIVE1";
constexpr char kPort[] = "\\\\.\\scsi2:";
constexpr char kVolume[] = "\\\\.\\E:";

DiskRecord record(uint8_t protocol, bool with_volume = false) {
    DiskRecord r;
    r.access_protocol = protocol;
    r.device_path = kDrive;
    r.physical_path = kDrive;
    r.port_device_path = kPort;
    if (with_volume) r.first_volume_path = kVolume;
    r.scsi_path_id = 3;
    return r;
}

std::vector<uint32_t> slept;

class NvmeTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        slept.clear();
        set_nvme_sleeper([](uint32_t ms) { slept.push_back(ms); });
        asmedia_variant_flags() = {};
        m.state->openable = {kDrive, kPort, kVolume};
    }
    void TearDown() override {
        set_nvme_sleeper(nullptr);
        asmedia_variant_flags() = {};
        EXPECT_EQ(m.state->live_handles, 0);  // every request closed its handle
    }
    test::nvme_fake::FakeDisk& disk() { return m.disk(); }
    test::nvme_fake::FakeMachine m;
};

TEST_F(NvmeTransportTest, SelectionAndOpenPathPerProtocol) {
    struct Row {
        uint8_t protocol;
        NvmeTransport transport;
        const char* path;
    } rows[] = {
        {kProtoNvm, NvmeTransport::Inbox, kDrive},        {kProtoOfaNvm, NvmeTransport::NvmeMini, kPort},
        {kProtoIrstNvm, NvmeTransport::IntelNvm, kPort},  {kProtoJmi, NvmeTransport::JMicron, kVolume},
        {kProtoAsm2362, NvmeTransport::ASMedia, kVolume}, {kProtoAsm2364, NvmeTransport::ASMedia, kVolume},
        {kProtoRtl9210B, NvmeTransport::Rtl9210B, kVolume}, {kProtoRtl9210, NvmeTransport::Rtl9210, kVolume},
        {kProtoAta, NvmeTransport::NvmeMini, kPort},      {kProtoNone, NvmeTransport::NvmeMini, kPort},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.protocol));
        EXPECT_EQ(nvme_transport_for(r.protocol), r.transport);
        EXPECT_EQ(nvme_open_path(record(r.protocol, true)), r.path);
    }
    // A bridge disk without a drive letter is reached on its device path.
    EXPECT_EQ(nvme_open_path(record(kProtoJmi)), kDrive);
}

TEST_F(NvmeTransportTest, UnopenableDeviceGivesMinusOne) {
    m.state->openable.clear();
    std::vector<uint8_t> buf(4096);
    for (uint8_t p : {kProtoNvm, kProtoOfaNvm, kProtoIrstNvm, kProtoJmi, kProtoAsm2362, kProtoRtl9210}) {
        SCOPED_TRACE(static_cast<int>(p));
        EXPECT_EQ(nvme_identify(record(p), 0, 0, buf), kNvmeOpenFailed);
    }
    EXPECT_EQ(nvme_send(record(kProtoNvm), nvme_get_features(1), {}).code, kNvmeOpenFailed);
}

TEST_F(NvmeTransportTest, GenericCommandThroughEveryTransport) {
    NvmeRequestSpec spec = nvme_vendor_command(0xFE, 512, 0x82, 3);
    for (uint8_t p : {kProtoNvm, kProtoOfaNvm, kProtoIrstNvm, kProtoJmi, kProtoAsm2362, kProtoRtl9210B}) {
        SCOPED_TRACE(static_cast<int>(p));
        disk().nvme_seen.clear();
        disk().scsi_seen.clear();
        disk().dw0 = 0x4242;
        std::vector<uint8_t> data(512, 0);
        NvmeResult r = nvme_send(record(p), spec, data);
        ASSERT_EQ(r.code, kNvmeOk);
        if (nvme_transport_for(p) == NvmeTransport::Inbox || nvme_transport_for(p) == NvmeTransport::NvmeMini ||
            nvme_transport_for(p) == NvmeTransport::IntelNvm) {
            ASSERT_EQ(disk().nvme_seen.size(), 1u);
            EXPECT_EQ(disk().nvme_seen[0].command.bytes, spec.command.bytes);
            EXPECT_EQ(disk().nvme_seen[0].dir, DataDir::In);
            EXPECT_EQ(r.value, 0x4242u);
            EXPECT_EQ(data[0], 0xA5);  // data copied back to the caller
        } else {
            EXPECT_EQ(disk().scsi_seen.size(), 3u);
        }
    }
    EXPECT_EQ(m.state->opened[0], kDrive);
    EXPECT_EQ(m.state->opened[1], kPort);

    std::vector<uint8_t> odd(6);
    EXPECT_EQ(nvme_send(record(kProtoNvm), spec.command, spec.queue, spec.dir, odd).code, kNvmeBadArgument);
}

TEST_F(NvmeTransportTest, NvmeMiniStatusCodes) {
    NvmeRequestSpec spec = nvme_firmware_commit(1, 1);
    DiskRecord r = record(kProtoOfaNvm);
    disk().dw0 = 9;
    disk().status_type = 1;
    disk().status_code = 0x0B;  // firmware activation needs a reset: still success
    EXPECT_EQ(nvme_send(r, spec, {}).code, kNvmeOk);
    disk().status_code = 0x06;
    NvmeResult res = nvme_send(r, spec, {});
    EXPECT_EQ(res.code, kNvmeStatusError);
    disk().nvme_status = DeviceStatus::Failed;
    EXPECT_EQ(nvme_send(r, spec, {}).code, kNvmeRequestFailed);
}

TEST_F(NvmeTransportTest, InboxPathUsesTheStorageRequests) {
    DiskRecord r = record(kProtoNvm);
    std::vector<uint8_t> id(4096);
    ASSERT_EQ(nvme_identify(r, 0, 0, id), kNvmeOk);
    EXPECT_EQ(disk().nvme_seen.back().command.opcode(), 0x06);
    EXPECT_EQ(id[4095], 0xA5);

    std::vector<uint8_t> log(512, 0);
    disk().dw0 = 0x55;
    NvmeResult lr = nvme_get_log_page(r, 2, 0, false, log);
    ASSERT_EQ(lr.code, kNvmeOk);
    EXPECT_EQ(lr.value, 0x55u);
    EXPECT_EQ(log[511], 0xA5);

    disk().dw0 = 0x01550160;
    NvmeResult f = nvme_get_features(r, 0x10);
    EXPECT_EQ(f.code, kNvmeOk);
    EXPECT_EQ(f.value, 0x01550160u);

    EXPECT_EQ(nvme_set_features(r, 0x10, true, 0x01600155).code, kNvmeOk);
    EXPECT_EQ(disk().nvme_seen.back().command.cdw(10), 0x80000010u);
    EXPECT_EQ(disk().nvme_seen.back().command.cdw(11), 0x01600155u);

    size_t before = disk().nvme_seen.size();
    EXPECT_EQ(nvme_set_features(r, 0x06, true, 1).code, kNvmeNotOnInbox);
    EXPECT_EQ(nvme_format_lba(r, 1), kNvmeNotOnInbox);
    EXPECT_EQ(disk().nvme_seen.size(), before);

    ASSERT_EQ(nvme_format_user_erase(r), kNvmeOk);
    EXPECT_EQ(disk().nvme_seen.back().command.opcode(), 0x80);
    EXPECT_EQ(disk().nvme_seen.back().command.cdw(10), 0x200u);
}

TEST_F(NvmeTransportTest, InboxFirmwareCommitResults) {
    DiskRecord r = record(kProtoNvm);
    EXPECT_EQ(nvme_firmware_commit(r, 1, 1), kNvmeOk);
    EXPECT_EQ(slept, std::vector<uint32_t>{1000});
    disk().status_type = 1;
    disk().status_code = 0x10;  // waits for a subsystem reset: counted as success
    EXPECT_EQ(nvme_firmware_commit(r, 1, 2), kNvmeOk);
    EXPECT_EQ(disk().nvme_seen.back().command.cdw(10), 1u + 2u * 8u);  // switch-to-existing flag
    // Action 3 keeps the downloaded image: the slot is replaced, and without
    // activation-without-reset support the new image runs after a reset.
    EXPECT_EQ(nvme_firmware_commit(r, 1, 3), kNvmeOk);
    EXPECT_EQ(disk().nvme_seen.back().command.cdw(10), 1u + 1u * 8u);
    disk().status_code = 0x07;
    EXPECT_EQ(nvme_firmware_commit(r, 1, 1), kNvmeActivateFailed);
}

TEST_F(NvmeTransportTest, FirmwareDownloadInChunks) {
    std::vector<uint8_t> image(9000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i);
    std::vector<std::pair<uint32_t, uint32_t>> progress;
    for (uint8_t p : {kProtoNvm, kProtoOfaNvm, kProtoIrstNvm, kProtoJmi}) {
        SCOPED_TRACE(static_cast<int>(p));
        disk().nvme_seen.clear();
        disk().scsi_seen.clear();
        progress.clear();
        ASSERT_EQ(nvme_firmware_download(record(p), image,
                                         [&](uint32_t done, uint32_t total) { progress.emplace_back(done, total); }),
                  kNvmeOk);
        EXPECT_EQ(progress, (std::vector<std::pair<uint32_t, uint32_t>>{{4096, 9000}, {8192, 9000}, {9000, 9000}}));
        if (p == kProtoJmi) {
            ASSERT_EQ(disk().scsi_seen.size(), 9u);
            EXPECT_EQ(disk().scsi_seen[7].length, 808u);
            continue;
        }
        ASSERT_EQ(disk().nvme_seen.size(), 3u);
        const auto& last = disk().nvme_seen[2];
        EXPECT_EQ(last.command.opcode(), 0x11);
        EXPECT_EQ(last.command.cdw(11), 8192u / 4);
        EXPECT_EQ(last.command.cdw(10), 808u / 4 - 1);
        ASSERT_EQ(last.out_data.size(), 808u);
        EXPECT_TRUE(std::equal(last.out_data.begin(), last.out_data.end(), image.begin() + 8192));
    }
    disk().nvme_status = DeviceStatus::Failed;
    EXPECT_EQ(nvme_firmware_download(record(kProtoNvm), image), kNvmeRequestFailed);
    EXPECT_EQ(nvme_firmware_download(record(kProtoNvm), {}), kNvmeBadArgument);
}

TEST_F(NvmeTransportTest, Rtl9210CarriesOnlyIdentifyAndLogPages) {
    DiskRecord r = record(kProtoRtl9210, true);
    EXPECT_EQ(nvme_firmware_commit(r, 1, 1), kNvmeNotOnBridge);
    EXPECT_EQ(nvme_get_features(r, 6).code, kNvmeNotOnBridge);
    EXPECT_EQ(nvme_send(r, nvme_vendor_command(0xFE, 512, 0x82), {}).code, kNvmeNotOnBridge);
    std::vector<uint8_t> img(4096);
    EXPECT_EQ(nvme_firmware_download(r, img), kNvmeNotOnBridge);
    EXPECT_TRUE(disk().scsi_seen.empty());

    std::vector<uint8_t> id(4096);
    ASSERT_EQ(nvme_identify(r, 0, 0, id), kNvmeOk);
    ASSERT_EQ(disk().scsi_seen.size(), 1u);
    EXPECT_EQ(disk().scsi_seen[0].cdb[0], 0xE4);
    EXPECT_EQ(disk().scsi_seen[0].cdb[3], 0x06);
    EXPECT_EQ(m.state->opened.back(), kVolume);
}

TEST_F(NvmeTransportTest, AsmediaVariantFlagsFollowWhatWorked) {
    DiskRecord r = record(kProtoAsm2362);
    std::vector<uint8_t> id(4096);
    // The bridge refuses the E6 command: three-phase first, no flip.
    disk().on_scsi = [](ScsiPassThrough& s) { return s.cdb[0] != 0xE6; };
    ASSERT_EQ(nvme_identify(r, 0, 0, id), kNvmeOk);
    EXPECT_EQ(disk().scsi_seen.size(), 3u);
    EXPECT_FALSE(asmedia_variant_flags().identify_e6);

    // Only E6 works now: the three-phase attempt fails, E6 succeeds, the flag flips.
    disk().scsi_seen.clear();
    disk().on_scsi = [](ScsiPassThrough& s) { return s.cdb[0] == 0xE6; };
    ASSERT_EQ(nvme_identify(r, 0, 0, id), kNvmeOk);
    EXPECT_TRUE(asmedia_variant_flags().identify_e6);
    EXPECT_FALSE(asmedia_variant_flags().log_page_e6);
    EXPECT_EQ(disk().scsi_seen.back().cdb[0], 0xE6);

    // Next time E6 goes first: a single request.
    disk().scsi_seen.clear();
    ASSERT_EQ(nvme_identify(r, 0, 0, id), kNvmeOk);
    EXPECT_EQ(disk().scsi_seen.size(), 1u);

    // Log pages keep their own flag.
    disk().scsi_seen.clear();
    std::vector<uint8_t> log(512);
    ASSERT_EQ(nvme_get_log_page(r, 2, 0, false, log).code, kNvmeOk);
    EXPECT_EQ(disk().scsi_seen.size(), 2u);  // three-phase command phase failed, then E6
    EXPECT_TRUE(asmedia_variant_flags().log_page_e6);

    disk().on_scsi = [](ScsiPassThrough&) { return false; };
    EXPECT_EQ(nvme_identify(r, 0, 0, id), kNvmeRequestFailed);
    EXPECT_TRUE(asmedia_variant_flags().identify_e6);
}

TEST_F(NvmeTransportTest, InboxSecurityFallsBackToScsi) {
    DiskRecord r = record(kProtoNvm);
    std::vector<uint8_t> data(512);
    ASSERT_EQ(nvme_security_receive(r, 0x01, 0x0001, data).code, kNvmeOk);
    EXPECT_TRUE(disk().scsi_seen.empty());
    EXPECT_EQ(disk().nvme_seen.back().command.opcode(), 0x82);

    disk().nvme_status = DeviceStatus::Failed;
    ASSERT_EQ(nvme_security_receive(r, 0x01, 0x0001, data).code, kNvmeOk);
    ASSERT_EQ(disk().scsi_seen.size(), 1u);
    const test::nvme_fake::SeenScsi& s = disk().scsi_seen[0];
    EXPECT_EQ(s.cdb_length, 12);
    EXPECT_EQ(s.cdb[0], 0xA2);
    EXPECT_EQ(s.cdb[1], 0x01);
    EXPECT_EQ(s.cdb[2], 0x00);
    EXPECT_EQ(s.cdb[3], 0x01);
    EXPECT_EQ(get_be32(s.cdb, 6), 512u);
    EXPECT_EQ(s.dir, DataDir::In);

    ASSERT_EQ(nvme_security_send(r, 0x02, 0x0100, data).code, kNvmeOk);
    EXPECT_EQ(disk().scsi_seen.back().cdb[0], 0xB5);
    EXPECT_EQ(disk().scsi_seen.back().dir, DataDir::Out);

    // Other transports do not fall back.
    disk().scsi_seen.clear();
    EXPECT_EQ(nvme_security_send(record(kProtoOfaNvm), 0x02, 0x0100, data).code, kNvmeRequestFailed);
    EXPECT_TRUE(disk().scsi_seen.empty());
}

TEST_F(NvmeTransportTest, DeallocateIsOneRangeOnTheIoQueue) {
    ASSERT_EQ(nvme_deallocate(record(kProtoOfaNvm), 0x1000, 64), kNvmeOk);
    const test::nvme_fake::SeenNvme& s = disk().nvme_seen.back();
    EXPECT_TRUE(s.io_queue);
    EXPECT_EQ(s.command.opcode(), 0x09);
    ASSERT_EQ(s.out_data.size(), 4096u);
    EXPECT_EQ(get_le32(s.out_data, 4), 64u);
    EXPECT_EQ(get_le64(s.out_data, 8), 0x1000u);
}

}  // namespace
}  // namespace tb
