// The simulated SATA disk through DiskDevice::ata() and ATA PASS-THROUGH CDBs.
#include <gtest/gtest.h>

#include <cstring>

#include "sim_test_helpers.h"

namespace tb::sim::test {
namespace {

constexpr uint32_t kSata = 0;     // the built-in machine's system disk
constexpr uint32_t kUsbSata = 3;  // SATA behind a USB-SATA bridge
constexpr uint16_t kPioIn = kAtaDriveReady | kAtaDataIn, kPioOut = kAtaDriveReady | kAtaDataOut;

std::vector<uint8_t> identify_ata(DiskDevice& d) {
    std::vector<uint8_t> id(512, 0);
    auto r = ata_request(0xEC, kPioIn, 0, 1, 0, id);
    EXPECT_EQ(d.ata(r), DeviceStatus::Ok);
    EXPECT_TRUE(ata_ok(r));
    return id;
}

std::vector<uint8_t> smart_read(DiskDevice& d, uint8_t feature) {
    std::vector<uint8_t> buf(512, 0);
    auto r = ata_request(0xB0, kPioIn, feature, 1, 0xC24F00, buf);
    EXPECT_EQ(d.ata(r), DeviceStatus::Ok);
    EXPECT_TRUE(ata_ok(r));
    return buf;
}

uint64_t raw_of(const std::vector<uint8_t>& smart, uint8_t id) {
    for (size_t at = 2; at < 362; at += 12) {
        if (smart[at] == id) {
            uint64_t v = 0;
            for (int i = 5; i >= 0; --i) v = v << 8 | smart[at + 5 + static_cast<size_t>(i)];
            return v;
        }
    }
    ADD_FAILURE() << "no attribute " << int(id);
    return 0;
}

bool security(DiskDevice& d, uint8_t command, uint16_t control, const char* password) {
    std::vector<uint8_t> block(512, 0);
    put_le16(block, 0, control);
    std::memcpy(block.data() + 2, password, std::strlen(password));
    bool data = command != 0xF3 && command != 0xF5;
    auto r = ata_request(command, data ? kPioOut : 0, 0, data ? 1 : 0, 0, data ? std::span<uint8_t>(block) : std::span<uint8_t>());
    EXPECT_EQ(d.ata(r), DeviceStatus::Ok);
    return ata_ok(r);
}

TEST(SimAta, IdentifyDeviceWords) {
    Bench b;
    auto d = b.drive(kSata);
    ASSERT_TRUE(d);
    auto id = identify_ata(*d);
    EXPECT_EQ(ata_string(id, 10, 10), "SIMS00000000000000A0");
    EXPECT_EQ(ata_string(id, 23, 4), "SA10.0A0");
    EXPECT_EQ(ata_string(id, 27, 20), std::string("TAMBLOR SIM SATA SSD 16GB").append(15, ' '));
    uint64_t sectors = 31277232;  // 16 GB
    EXPECT_EQ(word(id, 60) | (uint32_t(word(id, 61)) << 16), sectors);
    uint64_t lba48 = 0;
    for (int i = 3; i >= 0; --i) lba48 = lba48 << 16 | word(id, 100 + i);
    EXPECT_EQ(lba48, sectors);
    EXPECT_TRUE(word(id, 83) & (1 << 10));  // 48-bit
    EXPECT_TRUE(word(id, 85) & (1 << 5));   // write cache enabled
    EXPECT_EQ(word(id, 76) & 0x0E, 0x0E);   // 1.5, 3.0, 6.0 Gbps
    EXPECT_EQ(word(id, 77) & 0x0E, 0x06);
    EXPECT_TRUE(word(id, 80) & (1 << 10));  // ACS-3
    EXPECT_EQ(word(id, 88), 0x407F);
    EXPECT_EQ(word(id, 108) >> 12, 5);      // NAA 5 world wide name
    EXPECT_EQ(word(id, 128) & 0x0F, 0x01);  // security supported, not enabled
    EXPECT_EQ(word(id, 169) & 1, 1);        // TRIM
    EXPECT_EQ(id[510], 0xA5);
    uint8_t sum = 0;
    for (uint8_t v : id) sum = static_cast<uint8_t>(sum + v);
    EXPECT_EQ(sum, 0);
}

TEST(SimAta, WriteSectorsExtThenReadBackThroughPassThrough16) {
    Bench b;
    auto d = b.drive(kSata);
    auto data = pattern(4 * 512, 11);
    uint64_t lba = 0x00ABCDEF;
    auto w = ata_request(0x34, kPioOut | kAtaExt, 0, 4, lba, data);
    ASSERT_EQ(d->ata(w), DeviceStatus::Ok);
    ASSERT_TRUE(ata_ok(w));
    EXPECT_EQ(b.file_bytes(kSata, lba * 512, data.size()), data);
    std::vector<uint8_t> back(4 * 512, 0);
    auto r = ata16(0x24, 4, 0, 4, lba, back);
    ASSERT_EQ(d->scsi(r), DeviceStatus::Ok);
    EXPECT_EQ(r.scsi_status, 0);
    EXPECT_EQ(r.transferred, 4u * 512);
    EXPECT_EQ(back, data);
    // 28-bit DMA read with the LBA bits 24-27 in the device register.
    std::vector<uint8_t> dma(512, 0);
    auto rd = ata_request(0xC8, kPioIn | kAtaDma, 0, 1, lba + 2, dma);
    ASSERT_EQ(d->ata(rd), DeviceStatus::Ok);
    ASSERT_TRUE(ata_ok(rd));
    EXPECT_EQ(0, std::memcmp(dma.data(), data.data() + 1024, 512));
    // A DMA command sent as PIO is refused by the device.
    auto wrong = ata_request(0xC8, kPioIn, 0, 1, lba, dma);
    ASSERT_EQ(d->ata(wrong), DeviceStatus::Ok);
    EXPECT_FALSE(ata_ok(wrong));
    EXPECT_EQ(wrong.current[kAtaError], 0x04);
    // Beyond the end: ID not found.
    auto past = ata_request(0x24, kPioIn | kAtaExt, 0, 1, 31277232, dma);
    ASSERT_EQ(d->ata(past), DeviceStatus::Ok);
    EXPECT_EQ(past.current[kAtaError], 0x10);
    // Without the 48-bit flag the upper registers are not delivered.
    auto w2 = ata_request(0x34, kPioOut | kAtaExt, 0, 1, 0x01000005, data);
    ASSERT_EQ(d->ata(w2), DeviceStatus::Ok);
    std::vector<uint8_t> low(512, 0);
    auto no_ext = ata_request(0x24, kPioIn, 0, 1, 0x01000005, low);
    no_ext.previous[kAtaLbaLow] = 0x01;
    ASSERT_EQ(d->ata(no_ext), DeviceStatus::Ok);
    EXPECT_EQ(low, b.file_bytes(kSata, 5 * 512, 512));
}

TEST(SimAta, UsbSataBridgeCarriesAtaPassThrough) {
    Bench b;
    auto d = b.drive(kUsbSata);
    ASSERT_TRUE(d);
    AtaPassThrough direct = ata_request(0xEC, kPioIn, 0, 1, 0);
    EXPECT_EQ(d->ata(direct), DeviceStatus::Unsupported);  // no ATA pass-through over USB
    std::vector<uint8_t> id(512, 0);
    auto pt12 = cdb({0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0x40, 0xEC, 0x00, 0x00}, DataDir::In, id);
    ASSERT_EQ(d->scsi(pt12), DeviceStatus::Ok);
    ASSERT_EQ(pt12.scsi_status, 0);
    EXPECT_EQ(ata_string(id, 27, 12), "TAMBLOR SIM SATA SSD 4GB");
    auto data = pattern(2 * 512, 5);
    auto w = ata16(0x34, 5, 0, 2, 777, data);
    ASSERT_EQ(d->scsi(w), DeviceStatus::Ok);
    ASSERT_EQ(w.scsi_status, 0);
    std::vector<uint8_t> back(2 * 512, 0);
    auto r = rw16(false, 777, 2, back);
    ASSERT_EQ(d->scsi(r), DeviceStatus::Ok);
    EXPECT_EQ(back, data);
    EXPECT_EQ(b.file_bytes(kUsbSata, 777 * 512, 1024), data);
    // A failing command comes back as CHECK CONDITION with the ATA registers.
    auto bad = ata16(0xB0, 4, 0xD0, 1, 0x000000, back);  // SMART without its signature
    ASSERT_EQ(d->scsi(bad), DeviceStatus::Ok);
    EXPECT_EQ(bad.scsi_status, 2);
    EXPECT_EQ(bad.sense[0], 0x72);
    EXPECT_EQ(bad.sense[8], 0x09);   // ATA status return descriptor
    EXPECT_EQ(bad.sense[11], 0x04);  // error ABRT
    EXPECT_EQ(bad.sense[21] & 1, 1); // status ERR
}

TEST(SimAta, SmartAttributesFollowTheIoAndSelfTest) {
    Bench b;
    auto d = b.drive(kSata);
    auto before = smart_read(*d, 0xD0);
    EXPECT_EQ(get_le16(before, 0), 0x0010);
    uint8_t sum = 0;
    for (uint8_t v : before) sum = static_cast<uint8_t>(sum + v);
    EXPECT_EQ(sum, 0);
    auto thr = smart_read(*d, 0xD1);
    EXPECT_EQ(thr[2], 0x05);
    EXPECT_EQ(thr[3], 10);
    std::vector<uint8_t> big(64 * 1024, 0x33);
    for (int i = 0; i < 1024; ++i) {  // 64 MiB
        auto w = ata_request(0x35, kPioOut | kAtaDma | kAtaExt, 0, 128, static_cast<uint64_t>(i) * 128, big);
        ASSERT_EQ(d->ata(w), DeviceStatus::Ok);
        ASSERT_TRUE(ata_ok(w));
    }
    b.machine().advance_time(3 * 3600);
    auto after = smart_read(*d, 0xD0);
    EXPECT_EQ(raw_of(after, 0xF1) - raw_of(before, 0xF1), 2u);  // 32 MiB units written
    EXPECT_EQ(raw_of(after, 0x09) - raw_of(before, 0x09), 3u);  // power-on hours
    b.machine().power_cycle(kSata);
    d = b.drive(kSata);
    auto cycled = smart_read(*d, 0xD0);
    EXPECT_EQ(raw_of(cycled, 0x0C) - raw_of(after, 0x0C), 1u);
    EXPECT_EQ(raw_of(cycled, 0xAE) - raw_of(after, 0xAE), 1u);  // cut without STANDBY IMMEDIATE
    // Short self-test: running, then completed in the log.
    auto st = ata_request(0xB0, 0, 0xD4, 0, 0xC24F01);
    ASSERT_EQ(d->ata(st), DeviceStatus::Ok);
    ASSERT_TRUE(ata_ok(st));
    EXPECT_EQ(smart_read(*d, 0xD0)[363] >> 4, 15);
    b.machine().advance_time(5);
    EXPECT_EQ(smart_read(*d, 0xD0)[363], 0x00);
    std::vector<uint8_t> log(512, 0);
    auto rl = ata_request(0xB0, kPioIn, 0xD5, 1, 0xC24F06, log);
    ASSERT_EQ(d->ata(rl), DeviceStatus::Ok);
    ASSERT_TRUE(ata_ok(rl));
    EXPECT_EQ(log[2], 1);
    EXPECT_EQ(log[508], 1);
    // RETURN STATUS: threshold not exceeded.
    auto rs = ata_request(0xB0, 0, 0xDA, 0, 0xC24F00);
    ASSERT_EQ(d->ata(rs), DeviceStatus::Ok);
    EXPECT_EQ(rs.current[kAtaLbaMid], 0x4F);
    EXPECT_EQ(rs.current[kAtaLbaHigh], 0xC2);
    // Disabled SMART refuses to read.
    auto off = ata_request(0xB0, 0, 0xD9, 0, 0xC24F00);
    ASSERT_EQ(d->ata(off), DeviceStatus::Ok);
    std::vector<uint8_t> buf(512, 0);
    auto refused = ata_request(0xB0, kPioIn, 0xD0, 1, 0xC24F00, buf);
    ASSERT_EQ(d->ata(refused), DeviceStatus::Ok);
    EXPECT_FALSE(ata_ok(refused));
}

TEST(SimAta, SecurityStatesLockFreezeAndErase) {
    Bench b;
    auto d = b.drive(kSata);
    auto data = pattern(512, 8);
    auto w = ata_request(0x30, kPioOut, 0, 1, 50, data);
    ASSERT_EQ(d->ata(w), DeviceStatus::Ok);
    ASSERT_TRUE(security(*d, 0xF1, 0x0000, "pass"));
    EXPECT_EQ(word(identify_ata(*d), 128) & 0x0F, 0x03);  // enabled, unlocked
    b.machine().power_cycle(kSata, true);
    d = b.drive(kSata);
    EXPECT_EQ(word(identify_ata(*d), 128) & 0x0F, 0x07);  // locked
    std::vector<uint8_t> buf(512, 0);
    auto locked_read = ata_request(0x20, kPioIn, 0, 1, 50, buf);
    ASSERT_EQ(d->ata(locked_read), DeviceStatus::Ok);
    EXPECT_FALSE(ata_ok(locked_read));
    EXPECT_FALSE(security(*d, 0xF2, 0, "wrong"));
    ASSERT_TRUE(security(*d, 0xF2, 0, "pass"));
    auto read = ata_request(0x20, kPioIn, 0, 1, 50, buf);
    ASSERT_EQ(d->ata(read), DeviceStatus::Ok);
    EXPECT_TRUE(ata_ok(read));
    EXPECT_EQ(buf, data);
    // Erase unit needs erase prepare right before it.
    EXPECT_FALSE(security(*d, 0xF4, 0, "pass"));
    ASSERT_TRUE(security(*d, 0xF3, 0, ""));
    ASSERT_TRUE(security(*d, 0xF4, 0, "pass"));
    EXPECT_EQ(word(identify_ata(*d), 128) & 0x0F, 0x01);
    EXPECT_EQ(b.file_bytes(kSata, 50 * 512, 512), std::vector<uint8_t>(512, 0));
    // Frozen: no new password until the next power cycle.
    ASSERT_TRUE(security(*d, 0xF5, 0, ""));
    EXPECT_EQ(word(identify_ata(*d), 128) & 0x08, 0x08);
    EXPECT_FALSE(security(*d, 0xF1, 0, "pass"));
    EXPECT_TRUE(security(*d, 0xF6, 0, "pass"));  // nothing to disable
    b.machine().power_cycle(kSata);
    d = b.drive(kSata);
    EXPECT_EQ(word(identify_ata(*d), 128) & 0x08, 0);
}

TEST(SimAta, DownloadMicrocodeThenActivate) {
    Bench b;
    auto d = b.drive(kSata);
    std::vector<uint8_t> image(96 * 512, 0x42);
    std::memcpy(image.data() + 40000, "FWREV:SA20.0X1", 14);
    for (uint32_t off = 0; off < 96; off += 64) {
        uint32_t n = std::min<uint32_t>(64, 96 - off);
        auto r = ata_request(0x92, kPioOut, 0x03, static_cast<uint16_t>(n), static_cast<uint64_t>(off) << 8,
                             std::span<uint8_t>(image.data() + off * 512, n * 512));
        ASSERT_EQ(d->ata(r), DeviceStatus::Ok);
        ASSERT_TRUE(ata_ok(r));
    }
    EXPECT_EQ(ata_string(identify_ata(*d), 23, 4), "SA10.0A0");
    auto act = ata_request(0x92, 0, 0x0F, 0, 0);
    ASSERT_EQ(d->ata(act), DeviceStatus::Ok);
    ASSERT_TRUE(ata_ok(act));
    EXPECT_EQ(ata_string(identify_ata(*d), 23, 4), "SA20.0X1");
    // Out-of-order segment, and activation with nothing pending.
    auto gap = ata_request(0x92, kPioOut, 0x03, 1, 5 << 8, std::span<uint8_t>(image.data(), 512));
    ASSERT_EQ(d->ata(gap), DeviceStatus::Ok);
    EXPECT_FALSE(ata_ok(gap));
    auto again = ata_request(0x92, 0, 0x0F, 0, 0);
    ASSERT_EQ(d->ata(again), DeviceStatus::Ok);
    EXPECT_FALSE(ata_ok(again));
}

TEST(SimAta, TrimFlushStandbyAndPowerMode) {
    Bench b;
    auto d = b.drive(kSata);
    auto data = pattern(8 * 512, 2);
    auto w = ata_request(0x34, kPioOut | kAtaExt, 0, 8, 4096, data);
    ASSERT_EQ(d->ata(w), DeviceStatus::Ok);
    std::vector<uint8_t> entries(512, 0);
    put_le64(entries, 0, 4098 | (4ull << 48));
    auto trim = ata_request(0x06, kAtaDataOut | kAtaDma | kAtaExt, 1, 1, 0, entries);
    ASSERT_EQ(d->ata(trim), DeviceStatus::Ok);
    ASSERT_TRUE(ata_ok(trim));
    auto file = b.file_bytes(kSata, 4096 * 512, data.size());
    EXPECT_EQ(0, std::memcmp(file.data(), data.data(), 1024));
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 1024, file.begin() + 3072), std::vector<uint8_t>(2048, 0));
    auto flush = ata_request(0xEA, kAtaExt, 0, 0, 0);
    ASSERT_EQ(d->ata(flush), DeviceStatus::Ok);
    EXPECT_TRUE(ata_ok(flush));
    auto sb = ata_request(0xE0, 0, 0, 0, 0);
    ASSERT_EQ(d->ata(sb), DeviceStatus::Ok);
    auto mode = ata_request(0xE5, 0, 0, 0, 0);
    ASSERT_EQ(d->ata(mode), DeviceStatus::Ok);
    EXPECT_EQ(mode.current[kAtaCount], 0x00);  // standby
    auto idle = ata_request(0xE1, 0, 0, 0, 0);
    ASSERT_EQ(d->ata(idle), DeviceStatus::Ok);
    auto mode2 = ata_request(0xE5, 0, 0, 0, 0);
    ASSERT_EQ(d->ata(mode2), DeviceStatus::Ok);
    EXPECT_EQ(mode2.current[kAtaCount], 0x80);
    auto nop = ata_request(0x00, 0, 0, 0, 0);
    ASSERT_EQ(d->ata(nop), DeviceStatus::Ok);
    EXPECT_FALSE(ata_ok(nop));
}

}  // namespace
}  // namespace tb::sim::test
