// The simulated NVMe controller through DiskDevice::nvme() with exact bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "sim_test_helpers.h"

namespace tb::sim::test {
namespace {

constexpr uint32_t kNvmeDisk = 1;  // the built-in machine's inbox NVMe SSD

TEST(SimNvme, IdentifyControllerFieldsAtTheirOffsets) {
    Bench b;
    auto d = b.drive(kNvmeDisk);
    ASSERT_TRUE(d);
    std::vector<uint8_t> buf(4096, 0xEE);
    auto r = nvme_request(0x06, 0, {1}, DataDir::In, buf);
    ASSERT_EQ(d->nvme(r), DeviceStatus::Ok);
    // Completion as on the wire: command id echoed, status 0 with the phase bit.
    EXPECT_EQ(get_le16(r.completion, 12), 0x1234);
    EXPECT_EQ(get_le16(r.completion, 14), 0x0001);
    EXPECT_EQ(get_le16(buf, 0), 0x1F9A);                               // VID
    EXPECT_EQ(get_le16(buf, 2), 0x1F9A);                               // SSVID
    EXPECT_EQ(text_at(buf, 4, 20), "SIMN00000000000000B1");            // SN
    EXPECT_EQ(text_at(buf, 24, 40), std::string("TAMBLOR SIM NVMe SSD 8GB").append(16, ' '));  // MN
    EXPECT_EQ(text_at(buf, 64, 8), "NV1.0.B1");                        // FR
    EXPECT_EQ(buf[77], 9);                                             // MDTS
    EXPECT_EQ(get_le32(buf, 80), 0x00010400u);                         // VER
    EXPECT_EQ(get_le16(buf, 256), 0x0007);                             // OACS
    EXPECT_EQ(buf[260], 0x16);                                         // FRMW: 3 slots, activation without reset
    EXPECT_EQ(buf[262], 63);                                           // ELPE
    EXPECT_EQ(get_le16(buf, 266), 343);                                // WCTEMP
    EXPECT_EQ(get_le32(buf, 516), 1u);                                 // NN
    EXPECT_EQ(buf[525] & 1, 1);                                        // VWC
    EXPECT_EQ(get_le64(buf, 280), 8012390400ull);                      // TNVMCAP
    EXPECT_EQ(buf[4095], 0);                                           // the whole buffer was written
}

TEST(SimNvme, IdentifyNamespaceListsAndDescriptors) {
    Bench b;
    auto d = b.drive(kNvmeDisk);
    auto ns = identify(*d, 0, 1);
    EXPECT_EQ(get_le64(ns, 0), 15649200ull);  // NSZE of an 8 GB disk in 512-byte blocks
    EXPECT_EQ(get_le64(ns, 8), 15649200ull);
    EXPECT_EQ(get_le64(ns, 16), 0ull);        // NUSE: nothing written yet
    EXPECT_EQ(ns[25], 1);                     // NLBAF: two formats
    EXPECT_EQ(ns[26], 0);                     // FLBAS
    EXPECT_EQ(ns[128 + 2], 9);                // LBAF0 512
    EXPECT_EQ(ns[132 + 2], 12);               // LBAF1 4096

    auto list = identify(*d, 2, 0);
    EXPECT_EQ(get_le32(list, 0), 1u);
    EXPECT_EQ(get_le32(list, 4), 0u);
    EXPECT_EQ(get_le32(identify(*d, 2, 1), 0), 0u);  // none above NSID 1

    auto desc = identify(*d, 3, 1);
    EXPECT_EQ(desc[0], 1);  // EUI64
    EXPECT_EQ(desc[1], 8);
    EXPECT_EQ(0, std::memcmp(desc.data() + 4, ns.data() + 120, 8));
    EXPECT_EQ(desc[12], 2);  // NGUID
    EXPECT_EQ(desc[13], 16);
    EXPECT_EQ(0, std::memcmp(desc.data() + 16, ns.data() + 104, 16));
    EXPECT_EQ(desc[32], 3);  // UUID
    EXPECT_EQ(desc[33], 16);

    uint16_t st = 0;
    identify(*d, 0, 7, &st);
    EXPECT_EQ(st, 0x400B);  // invalid namespace, do not retry
    identify(*d, 0x55, 0, &st);
    EXPECT_EQ(st, 0x4002);  // invalid field
}

TEST(SimNvme, WriteIsReadBackByReadAndLandsInTheFile) {
    Bench b;
    auto d = b.drive(kNvmeDisk);
    auto data = pattern(8 * 512, 3);
    ASSERT_EQ(nvme_io(*d, 0x01, 1000, 8, data), 0);
    std::vector<uint8_t> back(8 * 512, 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 1000, 8, back), 0);
    EXPECT_EQ(back, data);
    EXPECT_EQ(b.file_bytes(kNvmeDisk, 1000 * 512, data.size()), data);
    // Another handle and the SCSI path see the same medium.
    auto d2 = b.open("\\\\.\\scsi1:");
    ASSERT_TRUE(d2);
    std::vector<uint8_t> via_scsi(512, 0);
    auto r = rw16(false, 1001, 1, via_scsi);
    ASSERT_EQ(d2->scsi(r), DeviceStatus::Ok);
    EXPECT_EQ(r.scsi_status, 0);
    EXPECT_EQ(0, std::memcmp(via_scsi.data(), data.data() + 512, 512));
    // Range and direction faults.
    std::vector<uint8_t> one(512, 0);
    EXPECT_EQ(nvme_io(*d, 0x02, 15649200, 1, one), 0x4080);  // LBA out of range
    auto wrong = nvme_request(0x02, 1, {0, 0, 0}, DataDir::Out, one, true);
    ASSERT_EQ(d->nvme(wrong), DeviceStatus::Ok);
    EXPECT_EQ(status_of(wrong), 0x4002);
    auto admin_on_io = nvme_request(0x06, 0, {1}, DataDir::In, one, true);
    ASSERT_EQ(d->nvme(admin_on_io), DeviceStatus::Ok);
    EXPECT_EQ(status_of(admin_on_io), 0x4001);  // invalid opcode
}

TEST(SimNvme, SmartCountersFollowTheIo) {
    Bench b;
    auto d = b.drive(kNvmeDisk);
    auto before = get_log(*d, 0x02);
    auto data = pattern(1000 * 512, 1);
    ASSERT_EQ(nvme_io(*d, 0x01, 0, 1000, data), 0);
    ASSERT_EQ(nvme_io(*d, 0x01, 2000, 1000, data), 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 0, 1000, data), 0);
    b.machine().advance_time(2 * 3600);
    auto after = get_log(*d, 0x02);
    EXPECT_EQ(get_le64(after, 32) - get_le64(before, 32), 1u);  // data units read (1000 x 512 bytes)
    EXPECT_EQ(get_le64(after, 48) - get_le64(before, 48), 2u);  // data units written
    EXPECT_EQ(get_le64(after, 64) - get_le64(before, 64), 1u);  // host read commands
    EXPECT_EQ(get_le64(after, 80) - get_le64(before, 80), 2u);  // host write commands
    EXPECT_EQ(get_le64(after, 128) - get_le64(before, 128), 2u);  // power-on hours
    uint16_t temp = get_le16(after, 1);
    EXPECT_GE(temp, 273 + 35);
    EXPECT_LT(temp, 273 + 70);
    EXPECT_EQ(after[3], 100);  // available spare
    // A threshold below the current temperature raises the critical warning.
    auto set = nvme_request(0x09, 0, {0x04, static_cast<uint32_t>(temp - 5)});
    ASSERT_EQ(d->nvme(set), DeviceStatus::Ok);
    EXPECT_EQ(status_of(set), 0);
    EXPECT_EQ(get_log(*d, 0x02)[0] & 0x02, 0x02);
}

TEST(SimNvme, FeaturesKeepSavedAndCurrentApart) {
    Bench b;
    auto d = b.drive(kNvmeDisk);
    auto get = [&](uint8_t fid, uint32_t sel = 0, uint32_t cdw11 = 0) {
        auto r = nvme_request(0x0A, 0, {fid | (sel << 8), cdw11});
        EXPECT_EQ(d->nvme(r), DeviceStatus::Ok);
        EXPECT_EQ(status_of(r), 0);
        return dw0_of(r);
    };
    auto set = [&](uint8_t fid, bool save, uint32_t cdw11) {
        auto r = nvme_request(0x09, 0, {fid | (save ? 0x80000000u : 0), cdw11});
        EXPECT_EQ(d->nvme(r), DeviceStatus::Ok);
        return status_of(r);
    };
    EXPECT_EQ(get(0x06), 1u);  // write cache on
    EXPECT_EQ(set(0x06, false, 0), 0);
    EXPECT_EQ(get(0x06), 0u);
    EXPECT_EQ(get(0x06, 2), 1u);  // saved still on
    EXPECT_EQ(get(0x06, 3), 0x5u);  // saveable, changeable
    // A controller reset brings the saved value back.
    ASSERT_TRUE(b.platform().set_device_enabled(kNvmeDisk, false));
    ASSERT_TRUE(b.platform().set_device_enabled(kNvmeDisk, true));
    d = b.drive(kNvmeDisk);
    EXPECT_EQ(get(0x06), 1u);
    EXPECT_EQ(set(0x06, true, 0), 0);
    EXPECT_EQ(get(0x06, 2), 0u);

    EXPECT_EQ(get(0x07), 0x003F003Fu);
    EXPECT_EQ(set(0x01, false, 0x11223304), 0);
    EXPECT_EQ(get(0x01), 0x11223304u);
    EXPECT_EQ(get(0x04), 343u);                            // composite over-temperature threshold
    EXPECT_EQ(get(0x04, 0, 0x00100000), 0x00100000u);      // under threshold, 0
    EXPECT_EQ(set(0x10, true, (330u << 16) | 340u), 0);    // TMT1 < TMT2
    EXPECT_EQ(get(0x10), (330u << 16) | 340u);
    EXPECT_EQ(set(0x10, true, (340u << 16) | 330u), 0x4002);  // TMT1 must stay below TMT2
    EXPECT_EQ(set(0x02, false, 5), 0x4002);                   // no power state 5
    EXPECT_EQ(set(0x07, true, 0), 0x410D);                    // queue count is not saveable
    EXPECT_EQ(set(0x22, false, 0), 0x4002);                   // unknown feature
}

TEST(SimNvme, FirmwareDownloadAndCommitChangeTheRevisionOnActivation) {
    Bench b;
    auto d = b.drive(kNvmeDisk);
    std::vector<uint8_t> image(10000, 0x5A);
    std::memcpy(image.data() + 5000, "FWREV:NV2.0.77", 14);
    image.resize(10240);
    for (size_t off = 0; off < image.size(); off += 4096) {
        size_t n = std::min<size_t>(4096, image.size() - off);
        auto r = nvme_request(0x11, 0, {static_cast<uint32_t>(n / 4 - 1), static_cast<uint32_t>(off / 4)}, DataDir::Out,
                              std::span<uint8_t>(image.data() + off, n));
        ASSERT_EQ(d->nvme(r), DeviceStatus::Ok);
        ASSERT_EQ(status_of(r), 0);
    }
    // Commit action 1 to slot 2: active at the next reset.
    auto commit = nvme_request(0x10, 0, {2 | (1 << 3)});
    ASSERT_EQ(d->nvme(commit), DeviceStatus::Ok);
    EXPECT_EQ(status_of(commit), 0);
    EXPECT_EQ(text_at(identify(*d, 1), 64, 8), "NV1.0.B1");
    auto slots = get_log(*d, 0x03);
    EXPECT_EQ(slots[0], 0x21);  // active 1, next 2
    EXPECT_EQ(text_at(slots, 8, 8), "NV1.0.B1");
    EXPECT_EQ(text_at(slots, 16, 8), "NV2.0.77");
    ASSERT_TRUE(b.platform().set_device_enabled(kNvmeDisk, false));
    ASSERT_TRUE(b.platform().set_device_enabled(kNvmeDisk, true));
    d = b.drive(kNvmeDisk);
    EXPECT_EQ(text_at(identify(*d, 1), 64, 8), "NV2.0.77");
    EXPECT_EQ(get_log(*d, 0x03)[0], 0x02);

    // Action 2 switches back to slot 1 at the next power cycle.
    auto back = nvme_request(0x10, 0, {1 | (2 << 3)});
    ASSERT_EQ(d->nvme(back), DeviceStatus::Ok);
    EXPECT_EQ(status_of(back), 0);
    b.machine().power_cycle(kNvmeDisk);
    d = b.drive(kNvmeDisk);
    EXPECT_EQ(text_at(identify(*d, 1), 64, 8), "NV1.0.B1");

    // Nothing downloaded: invalid image; slot 4 does not exist.
    auto empty = nvme_request(0x10, 0, {3 | (1 << 3)});
    ASSERT_EQ(d->nvme(empty), DeviceStatus::Ok);
    EXPECT_EQ(status_of(empty), 0x4107);
    auto bad_slot = nvme_request(0x10, 0, {4 | (2 << 3)});
    ASSERT_EQ(d->nvme(bad_slot), DeviceStatus::Ok);
    EXPECT_EQ(status_of(bad_slot), 0x4106);
}

TEST(SimNvme, ImmediateActivationAndReadOnlySlotOne) {
    Bench b(R"([disk0]
type = nvme
firmware = OLDFW001
slot1_readonly = 1
activate_without_reset = 0
)");
    auto d = b.drive(0);
    EXPECT_EQ(identify(*d, 1)[260], 0x07);  // slot 1 read-only, 3 slots
    std::vector<uint8_t> image(4096, 1);
    std::memcpy(image.data(), "FWREV:NEWFW002", 14);
    auto dl = nvme_request(0x11, 0, {1023, 0}, DataDir::Out, image);
    ASSERT_EQ(d->nvme(dl), DeviceStatus::Ok);
    auto to_slot1 = nvme_request(0x10, 0, {1 | (3 << 3)});
    ASSERT_EQ(d->nvme(to_slot1), DeviceStatus::Ok);
    EXPECT_EQ(status_of(to_slot1), 0x4106);  // slot 1 is read-only
    auto now = nvme_request(0x10, 0, {2 | (3 << 3)});
    ASSERT_EQ(d->nvme(now), DeviceStatus::Ok);
    EXPECT_EQ(status_of(now), 0x010B);  // needs a conventional reset
    EXPECT_EQ(text_at(identify(*d, 1), 64, 8), "OLDFW001");
    b.machine().power_cycle(0);
    d = b.drive(0);
    EXPECT_EQ(text_at(identify(*d, 1), 64, 8), "NEWFW002");
}

TEST(SimNvme, FormatZeroesAndChangesTheLbaFormat) {
    Bench b;
    auto d = b.drive(kNvmeDisk);
    auto data = pattern(4096, 9);
    ASSERT_EQ(nvme_io(*d, 0x01, 64, 8, data), 0);
    auto fmt = nvme_request(0x80, 1, {1 | 0x200});
    ASSERT_EQ(d->nvme(fmt), DeviceStatus::Ok);
    ASSERT_EQ(status_of(fmt), 0);
    auto ns = identify(*d, 0, 1);
    EXPECT_EQ(ns[26], 1);
    EXPECT_EQ(get_le64(ns, 0), 15649200ull / 8);
    std::vector<uint8_t> back(4096, 0xCC);
    ASSERT_EQ(nvme_io(*d, 0x02, 8, 1, back), 0);  // LBA 8 of 4 KiB = old LBA 64
    EXPECT_EQ(back, std::vector<uint8_t>(4096, 0));
    auto bad = nvme_request(0x80, 1, {5});
    ASSERT_EQ(d->nvme(bad), DeviceStatus::Ok);
    EXPECT_EQ(status_of(bad), 0x410A);  // invalid format
}

TEST(SimNvme, DeallocateFlushCompareAndWriteZeroes) {
    Bench b;
    auto d = b.drive(kNvmeDisk);
    auto data = pattern(16 * 512, 4);
    ASSERT_EQ(nvme_io(*d, 0x01, 100, 16, data), 0);
    EXPECT_EQ(nvme_io(*d, 0x05, 100, 16, data), 0);  // compare equal
    auto other = data;
    other[10] ^= 1;
    EXPECT_EQ(nvme_io(*d, 0x05, 100, 16, other), 0x4285);  // compare failure
    std::vector<uint8_t> range(4096, 0);
    put_le32(range, 4, 8);
    put_le64(range, 8, 104);
    auto dsm = nvme_request(0x09, 1, {0, 4}, DataDir::Out, range, true);
    ASSERT_EQ(d->nvme(dsm), DeviceStatus::Ok);
    EXPECT_EQ(status_of(dsm), 0);
    std::vector<uint8_t> back(16 * 512, 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 100, 16, back), 0);
    EXPECT_EQ(0, std::memcmp(back.data(), data.data(), 4 * 512));
    EXPECT_EQ(std::vector<uint8_t>(back.begin() + 4 * 512, back.begin() + 12 * 512), std::vector<uint8_t>(8 * 512, 0));
    EXPECT_EQ(0, std::memcmp(back.data() + 12 * 512, data.data() + 12 * 512, 4 * 512));
    auto flush = nvme_request(0x00, 1, {}, DataDir::None, {}, true);
    ASSERT_EQ(d->nvme(flush), DeviceStatus::Ok);
    EXPECT_EQ(status_of(flush), 0);
    ASSERT_EQ(nvme_io(*d, 0x08, 100, 2, {}), 0);  // write zeroes
    ASSERT_EQ(nvme_io(*d, 0x02, 100, 16, back), 0);
    EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + 1024), std::vector<uint8_t>(1024, 0));
    put_le64(range, 8, 15649200);
    auto outside = nvme_request(0x09, 1, {0, 4}, DataDir::Out, range, true);
    ASSERT_EQ(d->nvme(outside), DeviceStatus::Ok);
    EXPECT_EQ(status_of(outside), 0x4080);
}

TEST(SimNvme, LogPagesErrorsEffectsAndVendorLog) {
    Bench b(R"([disk0]
type = nvme
vendor_log = 0xE1
)");
    auto d = b.drive(0);
    std::vector<uint8_t> buf(512, 0);
    auto bad = nvme_request(0x06, 0, {0x99}, DataDir::In, buf);  // fails and is logged
    ASSERT_EQ(d->nvme(bad), DeviceStatus::Ok);
    auto errors = get_log(*d, 0x01, 4096);
    EXPECT_EQ(get_le64(errors, 0), 1u);          // error count
    EXPECT_EQ(get_le16(errors, 10), 0x1234);     // command id
    EXPECT_EQ(get_le16(errors, 12), 0x4002 << 1);
    EXPECT_EQ(get_le64(get_log(*d, 0x02), 176), 1u);  // number of error log entries
    auto effects = get_log(*d, 0x05, 4096);
    EXPECT_EQ(get_le32(effects, 0x06 * 4), 1u);
    EXPECT_EQ(get_le32(effects, 0x80 * 4) & 0x7, 0x7u);
    EXPECT_EQ(get_le32(effects, 1024 + 0x01 * 4), 3u);
    auto vendor = get_log(*d, 0xE1);
    EXPECT_EQ(text_at(vendor, 0, 4), "SIMV");
    auto none = nvme_request(0x02, 0xFFFFFFFF, {0xE2 | (127u << 16)}, DataDir::In, buf);
    ASSERT_EQ(d->nvme(none), DeviceStatus::Ok);
    EXPECT_EQ(status_of(none), 0x4109);  // invalid log page
    // A partial read with an offset.
    auto smart = get_log(*d, 0x02);
    std::vector<uint8_t> part(8, 0);
    auto off = nvme_request(0x02, 0xFFFFFFFF, {0x02 | (1u << 16), 0, 112}, DataDir::In, part);
    ASSERT_EQ(d->nvme(off), DeviceStatus::Ok);
    EXPECT_EQ(0, std::memcmp(part.data(), smart.data() + 112, 8));
}

TEST(SimNvme, VendorHandlerAndSecurityReceive) {
    Bench b;
    ASSERT_TRUE(b.machine().register_nvme_vendor_handler(
        kNvmeDisk, 0xC2, false,
        [](SimNvmeController& c, const NvmeCommand& cmd, DataDir dir, std::span<uint8_t> data) -> NvmeResult {
            if (dir != DataDir::In) return {nvme_status::kInvalidField, 0};
            put_ascii(data, 0, 8, c.firmware_revision());
            return {0, cmd.cdw(12) + 1};
        }));
    auto d = b.drive(kNvmeDisk);
    std::vector<uint8_t> buf(4096, 0);
    auto r = nvme_request(0xC2, 0xFFFFFFFF, {1024, 0, 41}, DataDir::In, buf);
    ASSERT_EQ(d->nvme(r), DeviceStatus::Ok);
    EXPECT_EQ(status_of(r), 0);
    EXPECT_EQ(dw0_of(r), 42u);
    EXPECT_EQ(text_at(buf, 0, 8), "NV1.0.B1");
    EXPECT_EQ(get_le32(get_log(*d, 0x05, 4096), 0xC2 * 4), 1u);
    auto unknown = nvme_request(0xC3, 0xFFFFFFFF, {});
    ASSERT_EQ(d->nvme(unknown), DeviceStatus::Ok);
    EXPECT_EQ(status_of(unknown), 0x4001);

    std::vector<uint8_t> sec(16, 0xFF);
    auto recv = nvme_request(0x82, 0, {0, 16}, DataDir::In, sec);
    ASSERT_EQ(d->nvme(recv), DeviceStatus::Ok);
    EXPECT_EQ(status_of(recv), 0);
    EXPECT_EQ(get_be16(sec, 6), 1);
    EXPECT_EQ(sec[8], 0);
    auto send = nvme_request(0x81, 0, {0xEF000000u, 16}, DataDir::Out, sec);
    ASSERT_EQ(d->nvme(send), DeviceStatus::Ok);
    EXPECT_EQ(status_of(send), 0x4002);
    // The SCSI form reaches the same controller.
    auto in = cdb({0xA2, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0, 0}, DataDir::In, sec);
    ASSERT_EQ(d->scsi(in), DeviceStatus::Ok);
    EXPECT_EQ(in.scsi_status, 0);
    EXPECT_EQ(get_be16(sec, 6), 1);
}

}  // namespace
}  // namespace tb::sim::test
