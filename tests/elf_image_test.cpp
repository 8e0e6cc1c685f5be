// The image size of hand-made ELF files, and headers whose counts would
// overflow the size of their table.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/program_image.h"
#include "tests/image_bytes.h"

namespace fs = std::filesystem;

namespace {

using tb::test::put;

// A little-endian ELF64 header with one program header (a segment of
// `segment_size` bytes at 0x1000) and a section table of `sections` records
// at `shoff`; the file is `file_size` bytes.
std::string make_elf64(uint64_t shoff, uint16_t sections, uint64_t file_size, uint64_t segment_size = 0x200) {
    std::string b(file_size, '\0');
    b[0] = 0x7F;
    b[1] = 'E';
    b[2] = 'L';
    b[3] = 'F';
    b[4] = 2;  // 64-bit
    b[5] = 1;  // little-endian
    put(b, 0x20, 64, 8);       // program headers right after the file header
    put(b, 0x28, shoff, 8);
    put(b, 0x36, 56, 2);       // program header size
    put(b, 0x38, 1, 2);        // one program header
    put(b, 0x3A, 64, 2);       // section header size
    put(b, 0x3C, sections, 2);
    put(b, 64 + 0x08, 0x1000, 8);          // segment offset
    put(b, 64 + 0x20, segment_size, 8);    // segment size in the file
    b.resize(file_size, '\0');
    return b;
}

}  // namespace

TEST(ElfImage, SegmentsAndSectionTableEndTheImage) {
    tb::test::ScratchFile f("tamblor-elf");
    EXPECT_EQ(tb::program_image_size(f.write(make_elf64(0, 0, 0x1200))), 0x1200u);
    EXPECT_EQ(tb::program_image_size(f.write(make_elf64(0, 0, 0x1300))), 0x1200u);
    // Two section records at 0x1200 (a null section and one of no bytes).
    EXPECT_EQ(tb::program_image_size(f.write(make_elf64(0x1200, 2, 0x1300))), 0x1280u);
}

TEST(ElfImage, ASectionCountThatOverflowsTheTableSizeIsRefused) {
    tb::test::ScratchFile f("tamblor-elf");
    // The header's count is 0, so the count is taken from the first section's
    // size: 2^58 records of 64 bytes wrap to a table of no bytes.
    std::string elf = make_elf64(0x1200, 0, 0x1300);
    put(elf, 0x1200 + 0x20, uint64_t{1} << 58, 8);
    EXPECT_FALSE(tb::program_image_size(f.write(elf)));
}
