// Task-file and CDB encodings, the IDENTIFY DEVICE summary and capacity in GB.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "disk/ata_command.h"
#include "disk/ata_identify.h"
#include "disk/capacity.h"

namespace tb {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes cdb_bytes(const ScsiPassThrough& r) { return Bytes(r.cdb.begin(), r.cdb.begin() + r.cdb_length); }
Bytes regs(const std::array<uint8_t, 8>& r) { return Bytes(r.begin(), r.begin() + 7); }

TEST(AtaCommand, FortyEightBitSetIsExactlyTheListedCodes) {
    const Bytes listed = {0x24, 0x25, 0x26, 0x29, 0x34, 0x35, 0x36, 0x39,
                          0x3D, 0x3E, 0xC1, 0xC2, 0xC3, 0xCE, 0xFE};
    Bytes found;
    for (int c = 0; c < 256; ++c)
        if (is_ata48_command(static_cast<uint8_t>(c))) found.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(found, listed);
}

TEST(AtaCommand, TwentyEightBitTaskFile) {
    std::vector<uint8_t> data(2 * 512);
    AtaCommand cmd = make_ata_command(0x20, 0x1FF, kAtaPioIn, 0x0ABCDEF1, data);
    EXPECT_EQ(cmd.sector_count, 2u);
    AtaPassThrough req = build_ata_pass_through(cmd);
    EXPECT_EQ(req.flags, kAtaPioIn);  // no 48-bit flag
    // feature low byte, count, LBA 0-23, 0x40 | LBA 24-27, command
    EXPECT_EQ(regs(req.current), (Bytes{0xFF, 0x02, 0xF1, 0xDE, 0xBC, 0x4A, 0x20}));
    EXPECT_EQ(regs(req.previous), Bytes(7, 0));
    EXPECT_EQ(req.data.size(), data.size());
    EXPECT_EQ(req.timeout_s, 60u);
}

TEST(AtaCommand, FortyEightBitTaskFile) {
    std::vector<uint8_t> data(3 * 512);
    AtaCommand cmd = make_ata_command(0x35, 0x1234, kAtaDmaOut, 0x123456789ABCULL, data);
    AtaPassThrough req = build_ata_pass_through(cmd);
    EXPECT_EQ(req.flags, kAtaDmaOut | kAtaExt);
    EXPECT_EQ(regs(req.current), (Bytes{0x34, 0x03, 0xBC, 0x9A, 0x78, 0x40, 0x35}));
    // previous: feature 8-15, count 0, LBA 24-31 / 32-39 / 40-47
    EXPECT_EQ(regs(req.previous), (Bytes{0x12, 0x00, 0x56, 0x34, 0x12, 0x00, 0x00}));
}

TEST(AtaCommand, StatusNeedsErrorAndDataRequestClear) {
    EXPECT_TRUE(ata_status_ok(0xF6));  // only bits 0 and 3 matter
    EXPECT_FALSE(ata_status_ok(0x51));
    EXPECT_FALSE(ata_status_ok(0x58));
}

TEST(AtaCommand, PassThrough12Cdb) {
    std::vector<uint8_t> data(512);
    ScsiPassThrough in = build_ata_cdb(make_ata_command(0xEC, 0x0102, kAtaPioIn, 0x0F123456, data));
    EXPECT_EQ(cdb_bytes(in), (Bytes{0xA1, 0x08, 0x0E, 0x02, 0x01, 0x56, 0x34, 0x12, 0x4F, 0xEC, 0, 0}));
    EXPECT_EQ(in.dir, DataDir::In);

    ScsiPassThrough out = build_ata_cdb(make_ata_command(0x30, 0, kAtaPioOut, 7, data));
    EXPECT_EQ(cdb_bytes(out), (Bytes{0xA1, 0x0A, 0x06, 0, 0x01, 0x07, 0, 0, 0x40, 0x30, 0, 0}));

    ScsiPassThrough none = build_ata_cdb(make_ata_command(0xE1, 0, kAtaNoData, 0));
    EXPECT_EQ(cdb_bytes(none), (Bytes{0xA1, 0x06, 0x00, 0, 0, 0, 0, 0, 0x40, 0xE1, 0, 0}));
    EXPECT_TRUE(none.data.empty());
}

TEST(AtaCommand, PassThrough16Cdb) {
    std::vector<uint8_t> data(4 * 512);
    ScsiPassThrough r = build_ata_cdb(make_ata_command(0x24, 0xABCD, kAtaPioIn, 0x665544332211ULL, data));
    EXPECT_EQ(cdb_bytes(r), (Bytes{0x85, 0x08, 0x0E, 0xAB, 0xCD, 0x00, 0x04, 0x44, 0x11, 0x55, 0x22, 0x66, 0x33,
                                   0x40, 0x24, 0x00}));
    ScsiPassThrough w = build_ata_cdb(make_ata_command(0x34, 0, kAtaPioOut, 0x10000000, data));
    EXPECT_EQ(cdb_bytes(w), (Bytes{0x85, 0x0A, 0x06, 0, 0, 0, 0x04, 0x10, 0, 0, 0, 0, 0, 0x40, 0x34, 0}));
}

// A crafted IDENTIFY DEVICE block.
class AtaIdentifyDecode : public ::testing::Test {
protected:
    void word(size_t i, uint16_t v) {
        data[2 * i] = static_cast<uint8_t>(v);
        data[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    // An ATA string: the first character of each pair in the high byte.
    void text(size_t first, size_t words, const char* s) {
        std::string padded(s);
        padded.resize(words * 2, ' ');
        for (size_t i = 0; i < words; ++i)
            word(first + i, static_cast<uint16_t>((static_cast<uint8_t>(padded[2 * i]) << 8) |
                                                  static_cast<uint8_t>(padded[2 * i + 1])));
    }
    IdentifyData data{};
};

TEST_F(AtaIdentifyDecode, TextsAreSwappedAndTrimmed) {
    text(27, 20, "  Tamblor SSD 1TB");
    text(10, 10, "SN0042");
    text(23, 4, "ABC");  // an odd length keeps its last character; NULs trim like blanks
    word(26, 0);
    AtaIdentifySummary s = decode_identify(data);
    EXPECT_EQ(s.model, "Tamblor SSD 1TB");
    EXPECT_EQ(s.serial, "SN0042");
    EXPECT_EQ(s.firmware, "ABC");
}

TEST_F(AtaIdentifyDecode, NumbersAndBits) {
    word(108, 0x5001);
    word(109, 0x2345);
    word(110, 0x6789);
    word(111, 0xABCD);
    word(60, 0xFFFF);
    word(61, 0x0FFF);
    // 0x0000_1234_7470_6DB0 sectors: the high dword shows in the count text
    word(100, 0x6DB0);
    word(101, 0x7470);
    word(102, 0x1234);
    word(103, 0x0000);
    word(83, 1 << 10);
    word(128, 0x0001 | 0x0008 | 0x0100);
    word(76, 0x000E);       // 1.5, 3.0 and 6.0 Gbps
    word(77, 0x0004);       // current: coded 2 = 3.0 Gbps
    word(80, 0x07F0);       // ATA8 .. ACS-4 (bits 4..10)
    word(88, 0x207F);       // modes 0-6 supported, mode 5 selected
    word(85, 1 << 5);
    AtaIdentifySummary s = decode_identify(data);
    EXPECT_EQ(s.wwn, "500123456789ABCD");
    EXPECT_EQ(s.capacity28, 0x0FFFFFFFu);
    EXPECT_EQ(s.sectors48, 0x123474706DB0ULL);
    EXPECT_EQ(s.sectors48_text, "0x0000123474706DB0");
    EXPECT_TRUE(s.lba48_supported);
    // beyond the IDEMA limit: decimal GB; binary GB from the same count
    EXPECT_EQ(s.capacity_gb, 10248448u);
    EXPECT_EQ(s.capacity_binary_gb, 9544611u);
    word(102, 0);  // 1953525168 sectors
    EXPECT_EQ(decode_identify(data).capacity_gb, 1000u);
    EXPECT_EQ(decode_identify(data).capacity_binary_gb, 931u);
    EXPECT_TRUE(s.security_supported);
    EXPECT_FALSE(s.security_enabled);
    EXPECT_FALSE(s.security_locked);
    EXPECT_TRUE(s.security_frozen);
    EXPECT_FALSE(s.security_count_expired);
    EXPECT_TRUE(s.security_master_capability);
    EXPECT_EQ(s.sata_generation, 3);
    EXPECT_EQ(s.sata_current_speed, 2);
    EXPECT_EQ(s.major_version, 10);
    EXPECT_EQ(s.udma_mode, 5);
    EXPECT_TRUE(s.write_cache_enabled);
}

TEST_F(AtaIdentifyDecode, EmptyFieldsGiveTheNoneValues) {
    word(88, 0x0040);  // mode 6 supported but none selected
    AtaIdentifySummary s = decode_identify(data);
    EXPECT_EQ(s.sata_generation, -1);
    EXPECT_EQ(s.major_version, -1);
    EXPECT_EQ(s.udma_mode, -1);
    EXPECT_EQ(s.sectors48_text, "0x0000000000000000");
}

TEST(AtaCapacity, IdemaRuleAndItsEdges) {
    EXPECT_EQ(capacity_gb(512, 1953525168ULL * 512), 1000u);
    EXPECT_EQ(capacity_gb(512, (1953525168ULL - 1) * 512), 999u);
    EXPECT_EQ(capacity_gb(4096, (244188ULL * 1000 + 2646) * 4096), 1000u);
    EXPECT_EQ(capacity_gb(4096, (244188ULL * 1000 + 2645) * 4096), 999u);
    EXPECT_EQ(capacity_gb(520, 2'000'000'000ULL), 2u);  // other sizes: decimal
    EXPECT_EQ(capacity_gb(512, 999'999'999ULL), 0u);
    EXPECT_EQ(capacity_gb(0, 1953525168ULL * 512), 0u);
}

TEST(AtaCapacity, BigDisksUseTheDecimalRuleWithoutAGap) {
    // The IDEMA 8000 GB disk is one byte below the limit.
    const uint64_t idema8000 = (1953504ULL * 8000 + 21168) * 512;
    EXPECT_EQ(idema8000 + 1, kIdemaLimitBytes);
    EXPECT_EQ(capacity_gb(512, idema8000), 8000u);
    EXPECT_EQ(capacity_gb(512, kIdemaLimitBytes), 8001u);
    EXPECT_EQ(capacity_gb(4096, kIdemaLimitBytes), 8001u);
    EXPECT_EQ(capacity_gb(512, 16'000'900'169'728ULL), 16000u);
}

}  // namespace
}  // namespace tb
