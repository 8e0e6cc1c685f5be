// The device-control codec: each Windows request buffer reaches the device
// as the NVMe command it stands for, and the answer lands where the driver
// would put it.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "disk/device_control.h"
#include "disk/nvme_requests.h"
#include "tests/nvme_fakes.h"

namespace tb {
namespace {

class NvmeCodec : public ::testing::Test {
protected:
    std::shared_ptr<test::nvme_fake::FakeDisk> disk = std::make_shared<test::nvme_fake::FakeDisk>();
    int live = 0;
    std::unique_ptr<test::nvme_fake::FakeDevice> dev = std::make_unique<test::nvme_fake::FakeDevice>(disk, &live);
    uint32_t err = 0;

    DeviceStatus call(uint32_t code, std::vector<uint8_t>& buf) { return device_control(*dev, code, buf, err); }
    const test::nvme_fake::SeenNvme& seen() { return disk->nvme_seen.back(); }
};

TEST_F(NvmeCodec, ProtocolCommandRoundTrip) {
    NvmeCommand c = nvme_vendor_command(0xFE, 4096, 0x82, 3).command;
    std::vector<uint8_t> data(4096);
    std::vector<uint8_t> buf = build_protocol_command(c, NvmeQueue::Admin, DataDir::In, data);
    disk->dw0 = 0x1234ABCD;
    ASSERT_EQ(call(kIoctlStorageProtocolCommand, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.bytes, c.bytes);
    EXPECT_FALSE(seen().io_queue);
    EXPECT_EQ(seen().dir, DataDir::In);
    EXPECT_EQ(seen().length, 4096u);
    EXPECT_EQ(get_le32(buf, spc::kReturnStatus), spc::kStatusSuccess);
    EXPECT_EQ(get_le32(buf, spc::kFixedReturn), 0x1234ABCDu);
    EXPECT_EQ(buf[144], 0xA5);
    EXPECT_EQ(buf.back(), 0xA5);

    // Data out through the NVM command set.
    NvmeRequestSpec dsm = nvme_dataset_management();
    std::vector<uint8_t> ranges(4096, 0);
    fill_dsm_range(ranges, 100, 8);
    buf = build_protocol_command(dsm.command, NvmeQueue::Io, DataDir::Out, ranges);
    ASSERT_EQ(call(kIoctlStorageProtocolCommand, buf), DeviceStatus::Ok);
    EXPECT_TRUE(seen().io_queue);
    EXPECT_EQ(seen().dir, DataDir::Out);
    EXPECT_EQ(seen().out_data, ranges);
}

TEST_F(NvmeCodec, ProtocolCommandErrorStatusFailsTheRequest) {
    std::vector<uint8_t> buf = build_protocol_command(nvme_get_features(7).command, NvmeQueue::Admin, DataDir::None, {});
    disk->status_code = 0x02;
    disk->status_type = 0;
    EXPECT_EQ(call(kIoctlStorageProtocolCommand, buf), DeviceStatus::Failed);
    EXPECT_EQ(get_le32(buf, spc::kReturnStatus), spc::kStatusError);
    EXPECT_EQ(get_le32(buf, spc::kErrorCode), 0x02u);
    EXPECT_NE(err, 0u);

    disk->status_code = 0;
    disk->nvme_status = DeviceStatus::Failed;
    disk->last_error = 31;
    EXPECT_EQ(call(kIoctlStorageProtocolCommand, buf), DeviceStatus::Failed);
    EXPECT_EQ(err, 31u);

    std::vector<uint8_t> bad = build_protocol_command(nvme_get_features(7).command, NvmeQueue::Admin, DataDir::None, {});
    put_le32(bad, spc::kProtocolType, 2);  // not NVMe
    disk->nvme_seen.clear();
    EXPECT_EQ(call(kIoctlStorageProtocolCommand, bad), DeviceStatus::Failed);
    EXPECT_EQ(err, kSysErrorInvalidParameter);
    EXPECT_TRUE(disk->nvme_seen.empty());

    // A to-device length that runs past the buffer is refused before the device sees it.
    std::vector<uint8_t> data(64);
    bad = build_protocol_command(nvme_security_send(1, 0, 64).command, NvmeQueue::Admin, DataDir::Out, data);
    put_le32(bad, spc::kToDeviceLength, 4096);
    EXPECT_EQ(call(kIoctlStorageProtocolCommand, bad), DeviceStatus::Failed);
    EXPECT_TRUE(disk->nvme_seen.empty());
}

TEST_F(NvmeCodec, PropertyQueriesBecomeIdentifyLogPageAndGetFeatures) {
    std::vector<uint8_t> buf = build_identify_query(1, 1);
    disk->fill = 0x3E;
    ASSERT_EQ(call(kIoctlStorageQueryProperty, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.opcode(), 0x06);
    EXPECT_EQ(seen().command.cdw(10), 1u);
    EXPECT_EQ(seen().command.nsid(), 1u);
    EXPECT_EQ(seen().dir, DataDir::In);
    EXPECT_EQ(seen().length, 4096u);
    EXPECT_EQ(get_le32(buf, 0), 48u);  // descriptor version
    EXPECT_EQ(get_le32(buf, 4), 48u);  // and size
    EXPECT_EQ(buf[47], 0);
    EXPECT_EQ(buf[48], 0x3E);
    EXPECT_EQ(buf.back(), 0x3E);

    buf = build_log_page_query(0x02, 3, true, 512);
    disk->dw0 = 0x77;
    ASSERT_EQ(call(kIoctlStorageQueryProperty, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.opcode(), 0x02);
    EXPECT_EQ(seen().command.cdw(10), 0x02u + 0x300u + 0x8000u + (1023u << 16));
    EXPECT_EQ(seen().command.nsid(), 0xFFFFFFFFu);
    EXPECT_EQ(get_le32(buf, spq::kFixedReturn), 0x77u);

    buf = build_feature_query(0x10);
    disk->dw0 = 0x01600155;
    ASSERT_EQ(call(kIoctlStorageQueryProperty, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.opcode(), 0x0A);
    EXPECT_EQ(seen().command.cdw(10), 0x10u);
    EXPECT_EQ(seen().command.nsid(), 0u);
    EXPECT_EQ(seen().dir, DataDir::None);
    EXPECT_EQ(get_le32(buf, spq::kFixedReturn), 0x01600155u);

    std::vector<uint8_t> other(64, 0);  // StorageDeviceProperty: not an NVMe request
    EXPECT_EQ(call(kIoctlStorageQueryProperty, other), DeviceStatus::Unsupported);
}

TEST_F(NvmeCodec, SetPropertyBecomesSetFeatures) {
    std::vector<uint8_t> buf = build_set_feature_property(0x80000010, 0x01600155);
    ASSERT_EQ(call(kIoctlStorageSetProperty, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.opcode(), 0x09);
    EXPECT_EQ(seen().command.cdw(10), 0x80000010u);
    EXPECT_EQ(seen().command.cdw(11), 0x01600155u);
    EXPECT_EQ(seen().command.nsid(), 0u);
    EXPECT_EQ(get_le32(buf, 0), 72u);
}

TEST_F(NvmeCodec, FirmwareRequestsBecomeDownloadAndCommit) {
    std::vector<uint8_t> chunk(1024);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> buf = build_hw_firmware_download(0x2000, chunk);
    ASSERT_EQ(call(kIoctlStorageFirmwareDownload, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.opcode(), 0x11);
    EXPECT_EQ(seen().command.cdw(10), 255u);
    EXPECT_EQ(seen().command.cdw(11), 0x800u);
    EXPECT_EQ(seen().out_data, chunk);

    buf = build_hw_firmware_activate(2, 1);
    ASSERT_EQ(call(kIoctlStorageFirmwareActivate, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.opcode(), 0x10);
    EXPECT_EQ(seen().command.cdw(10), 2u + 1u * 8u);
    buf = build_hw_firmware_activate(1, 2);
    ASSERT_EQ(call(kIoctlStorageFirmwareActivate, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.cdw(10), 1u + 2u * 8u);  // switch to the existing image

    // "Activated at the next reset" is reported with its own system error.
    disk->status_type = 1;
    disk->status_code = 0x0B;
    EXPECT_EQ(call(kIoctlStorageFirmwareActivate, buf), DeviceStatus::Failed);
    EXPECT_EQ(err, kSysErrorFirmwareNeedsReset);
    disk->status_code = 0x06;  // invalid firmware image
    EXPECT_EQ(call(kIoctlStorageFirmwareActivate, buf), DeviceStatus::Failed);
    EXPECT_EQ(err, kSysErrorIoDevice);
}

TEST_F(NvmeCodec, ReinitializeMediaIsAUserDataErase) {
    std::vector<uint8_t> buf = build_reinitialize_media();
    ASSERT_EQ(call(kIoctlStorageReinitializeMedia, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.opcode(), 0x80);
    EXPECT_EQ(seen().command.cdw(10), 0x200u);
    EXPECT_EQ(seen().dir, DataDir::None);
}

TEST_F(NvmeCodec, NvmeMiniCarriesTheControllerStatusInItsCompletion) {
    NvmeCommand c = nvme_get_log_page(2, 0, false, 512).command;
    std::vector<uint8_t> data(512);
    std::vector<uint8_t> buf = build_nvme_mini(c, NvmeQueue::Admin, DataDir::In, data);
    disk->dw0 = 0xBEEF;
    disk->status_code = 0x0B;
    ASSERT_EQ(call(kIoctlScsiMiniport, buf), DeviceStatus::Ok);  // delivered: the status is in the entry
    EXPECT_EQ(seen().command.bytes, c.bytes);
    EXPECT_EQ(seen().dir, DataDir::In);
    EXPECT_EQ(seen().length, 512u);
    EXPECT_EQ(get_le32(buf, 116), 0xBEEFu);
    EXPECT_EQ(get_le16(buf, 130), 0x0B << 1);
    EXPECT_EQ(buf[152], 0xA5);

    std::vector<uint8_t> out(64, 0x11);
    buf = build_nvme_mini(c, NvmeQueue::Io, DataDir::Out, out);
    ASSERT_EQ(call(kIoctlScsiMiniport, buf), DeviceStatus::Ok);
    EXPECT_TRUE(seen().io_queue);
    EXPECT_EQ(seen().out_data, out);

    disk->nvme_status = DeviceStatus::Failed;
    EXPECT_EQ(call(kIoctlScsiMiniport, buf), DeviceStatus::Failed);
    EXPECT_EQ(get_le32(buf, srb::kReturnCode), 1u);
}

TEST_F(NvmeCodec, IntelNvmTakesTheDirectionFromTheOpcode) {
    std::vector<uint8_t> data(4096);
    std::vector<uint8_t> buf = build_intel_nvm(nvme_identify(0, 0).command, NvmeQueue::Admin, 2, data);
    disk->dw0 = 0xD00D;
    ASSERT_EQ(call(kIoctlScsiMiniport, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().dir, DataDir::In);
    EXPECT_EQ(get_le32(buf, 97), 0xD00Du);
    EXPECT_EQ(buf[164], 0xA5);

    std::vector<uint8_t> range(4096, 0x22);
    buf = build_intel_nvm(nvme_dataset_management().command, NvmeQueue::Io, 2, range);
    ASSERT_EQ(call(kIoctlScsiMiniport, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().dir, DataDir::Out);
    EXPECT_TRUE(seen().io_queue);
    EXPECT_EQ(seen().out_data, range);

    disk->status_code = 0x02;
    EXPECT_EQ(call(kIoctlScsiMiniport, buf), DeviceStatus::Failed);
}

TEST_F(NvmeCodec, IntelFwDownloadAndActivate) {
    std::vector<uint8_t> chunk(512, 0x9A);
    std::vector<uint8_t> buf = build_intel_fw_download(0, 4096, chunk);
    ASSERT_EQ(call(kIoctlScsiMiniport, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.opcode(), 0x11);
    EXPECT_EQ(seen().command.cdw(10), 127u);
    EXPECT_EQ(seen().command.cdw(11), 1024u);
    EXPECT_EQ(seen().out_data, chunk);

    buf = build_intel_fw_activate(0, 3, 1);
    ASSERT_EQ(call(kIoctlScsiMiniport, buf), DeviceStatus::Ok);
    EXPECT_EQ(seen().command.opcode(), 0x10);
    EXPECT_EQ(seen().command.cdw(10), 3u + 8u);
}

TEST_F(NvmeCodec, UnknownRequestsAreUnsupported) {
    std::vector<uint8_t> buf = build_nvme_mini(NvmeCommand{}, NvmeQueue::Admin, DataDir::None, {});
    std::copy_n("OtherSig", 8, buf.begin() + 4);
    EXPECT_EQ(call(kIoctlScsiMiniport, buf), DeviceStatus::Unsupported);
    EXPECT_EQ(call(0x00070000, buf), DeviceStatus::Unsupported);
    EXPECT_EQ(err, kSysErrorInvalidFunction);
    EXPECT_TRUE(disk->nvme_seen.empty());
}

}  // namespace
}  // namespace tb
