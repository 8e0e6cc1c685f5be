// The firmware image: the header and part layout MergeFW writes, finding the
// configuration record in an image and in a raw binary, and the part
// checksums after the record was changed.
#include <gtest/gtest.h>

#include <vector>

#include "vendor/fw_image.h"
#include "vendor/vendor_records.h"

namespace {

uint32_t dword(const std::vector<uint8_t>& r, size_t at) {
    return static_cast<uint32_t>(r[at] | r[at + 1] << 8 | r[at + 2] << 16 | static_cast<uint32_t>(r[at + 3]) << 24);
}

TEST(FwImage, PartsStartOnPageBoundariesAfterTheHeader) {
    const std::vector<uint8_t> code(5000, 0x11);
    const std::vector<uint8_t> cfg = tb::default_fw_config();
    const std::vector<std::span<const uint8_t>> parts = {code, cfg};
    const auto image = tb::build_fw_image(parts);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->size(), 4096u + 8192u + 4096u);
    EXPECT_EQ(dword(*image, 0), 0x49464254u);  // "TBFI"
    EXPECT_EQ(dword(*image, 4), 1u);
    EXPECT_EQ(dword(*image, 8), 2u);
    EXPECT_EQ(dword(*image, 12), image->size());
    // Part 1: code at 4096, 5000 bytes, checksum the dword sum.
    EXPECT_EQ(dword(*image, 32), 1u);
    EXPECT_EQ(dword(*image, 36), 4096u);
    EXPECT_EQ(dword(*image, 40), 5000u);
    EXPECT_EQ(dword(*image, 44), 1250u * 0x11111111u);
    // Part 2: the configuration at 12288.
    EXPECT_EQ(dword(*image, 48), 2u);
    EXPECT_EQ(dword(*image, 52), 12288u);
    EXPECT_EQ(dword(*image, 56), 4096u);
    EXPECT_EQ((*image)[4096 + 4999], 0x11);
    EXPECT_EQ((*image)[4096 + 5000], 0x00) << "padding";
    EXPECT_TRUE(std::equal(cfg.begin(), cfg.end(), image->begin() + 12288));
    EXPECT_EQ(tb::find_fw_config(*image), 12288u);
}

TEST(FwImage, AShortLastDwordIsZeroFilledInTheSum) {
    const std::vector<uint8_t> b = {1, 0, 0, 0, 2, 3};
    EXPECT_EQ(tb::dword_sum(b), 1u + 0x0302u);
}

TEST(FwImage, ARawBinaryIsSearchedForASealedRecord) {
    std::vector<uint8_t> raw(4096 * 3, 0x7F);
    const std::vector<uint8_t> cfg = tb::default_fw_config();
    std::copy(cfg.begin(), cfg.end(), raw.begin() + 8192);
    EXPECT_EQ(tb::find_fw_config(raw), 8192u);
    raw[8192 + 20] ^= 1;  // checksum broken: no record found
    EXPECT_FALSE(tb::find_fw_config(raw));
    EXPECT_FALSE(tb::find_fw_config(std::vector<uint8_t>(100, 0)));
}

TEST(FwImage, ChangedRecordGetsItsPartChecksumAgain) {
    const std::vector<uint8_t> code(4096, 0x22);
    const std::vector<uint8_t> cfg = tb::default_fw_config();
    const std::vector<std::span<const uint8_t>> parts = {code, cfg};
    std::vector<uint8_t> image = *tb::build_fw_image(parts);
    const size_t at = *tb::find_fw_config(image);
    std::span<uint8_t> record = std::span<uint8_t>(image).subspan(at, 4096);
    ASSERT_EQ(tb::set_fw_config_item(record, *tb::find_fw_config_item("wwn"), "0x5000ABCD"), 0);
    tb::seal_fw_config(record);
    EXPECT_NE(dword(image, 44 + 16), tb::dword_sum(record));
    tb::refresh_fw_image_checksums(image);
    EXPECT_EQ(dword(image, 44 + 16), tb::dword_sum(record));
    EXPECT_TRUE(tb::fw_config_checksum_ok(record));
}

TEST(FwImage, HeaderWithPartsOutsideTheFileIsRefused) {
    const std::vector<uint8_t> code(4096, 0x22);
    const std::vector<std::span<const uint8_t>> parts = {code};
    std::vector<uint8_t> image = *tb::build_fw_image(parts);
    ASSERT_TRUE(tb::fw_image_parts(image));
    image[40] = 0xFF, image[41] = 0xFF;  // size 0xFFFF past the end
    EXPECT_FALSE(tb::fw_image_parts(image));
    EXPECT_FALSE(tb::build_fw_image(std::vector<std::span<const uint8_t>>{}));
}

}  // namespace
