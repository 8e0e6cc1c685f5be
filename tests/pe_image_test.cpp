// The image size of hand-made Windows program files: headers, sections, the
// certificate table and the symbol and string tables all belong to the
// image; bytes after them do not.
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

struct Section {
    uint32_t raw_pointer, raw_size;
};

// A minimal PE file: DOS header pointing at 0x80, signature, file header,
// optional header (PE32+ of 0xF0 bytes or PE32 of 0xE0 bytes, 16 data
// directories) and the section table; the file is padded to `file_size`.
struct PeShape {
    bool plus = true;
    uint32_t size_of_headers = 0x200;
    std::vector<Section> sections{{0x200, 0x400}, {0x600, 0x200}};
    uint32_t symbol_pointer = 0, symbol_count = 0;
    uint32_t certificate_offset = 0, certificate_size = 0;
    uint64_t file_size = 0x800;
    uint32_t string_table_size = 0;  // written after the symbols when not 0
};

std::string make_pe(const PeShape& s) {
    std::string b(s.file_size, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    const size_t pe = 0x80;
    put(b, 0x3C, pe, 4);
    b[pe] = 'P';
    b[pe + 1] = 'E';
    const size_t coff = pe + 4;
    const uint16_t optional_size = s.plus ? 0xF0 : 0xE0;
    put(b, coff, s.plus ? 0x8664 : 0x14C, 2);
    put(b, coff + 2, s.sections.size(), 2);
    put(b, coff + 8, s.symbol_pointer, 4);
    put(b, coff + 12, s.symbol_count, 4);
    put(b, coff + 16, optional_size, 2);
    const size_t opt = coff + 20;
    put(b, opt, s.plus ? 0x20B : 0x10B, 2);
    put(b, opt + 60, s.size_of_headers, 4);
    const size_t count_at = s.plus ? 108 : 92, dirs_at = s.plus ? 112 : 96;
    put(b, opt + count_at, 16, 4);
    put(b, opt + dirs_at + 4 * 8, s.certificate_offset, 4);
    put(b, opt + dirs_at + 4 * 8 + 4, s.certificate_size, 4);
    size_t table = opt + optional_size;
    for (const Section& sec : s.sections) {
        b.replace(table, 5, ".text");
        put(b, table + 16, sec.raw_size, 4);
        put(b, table + 20, sec.raw_pointer, 4);
        table += 40;
    }
    if (s.string_table_size != 0) put(b, s.symbol_pointer + s.symbol_count * 18, s.string_table_size, 4);
    b.resize(s.file_size, '\0');
    return b;
}

}  // namespace

TEST(PeImage, SectionsEndTheImageAndAppendedBytesLieOutside) {
    tb::test::ScratchFile f("tamblor-pe", ".exe");
    PeShape shape;
    EXPECT_EQ(tb::program_image_size(f.write(make_pe(shape))), 0x800u);
    shape.file_size = 0x800 + 123;
    EXPECT_EQ(tb::program_image_size(f.write(make_pe(shape))), 0x800u);
    // Sections out of file order: the furthest one counts.
    shape.sections = {{0x600, 0x300}, {0x200, 0x100}};
    EXPECT_EQ(tb::program_image_size(f.write(make_pe(shape))), 0x900u);
}

TEST(PeImage, HeadersAloneAndEmptySectionsCount) {
    tb::test::ScratchFile f("tamblor-pe", ".exe");
    PeShape shape;
    shape.sections = {{0x0, 0x0}, {0x5000, 0x0}};  // uninitialised data: no bytes in the file
    shape.size_of_headers = 0x400;
    EXPECT_EQ(tb::program_image_size(f.write(make_pe(shape))), 0x400u);
}

TEST(PeImage, SymbolAndStringTablesBelongToTheImage) {
    tb::test::ScratchFile f("tamblor-pe", ".exe");
    PeShape shape;
    shape.symbol_pointer = 0x800;
    shape.symbol_count = 3;  // 54 bytes, then the string table's length
    shape.string_table_size = 0x10;
    shape.file_size = 0x900;
    EXPECT_EQ(tb::program_image_size(f.write(make_pe(shape))), 0x800u + 54 + 0x10);
    // A symbol table that runs past the file is not believed.
    shape.symbol_count = 1000;
    shape.string_table_size = 0;
    EXPECT_FALSE(tb::program_image_size(f.write(make_pe(shape))));
}

TEST(PeImage, CertificateTableBelongsToTheImageInBothHeaderKinds) {
    tb::test::ScratchFile f("tamblor-pe", ".exe");
    PeShape shape;
    shape.certificate_offset = 0x800;
    shape.certificate_size = 0x180;
    shape.file_size = 0xA00;
    EXPECT_EQ(tb::program_image_size(f.write(make_pe(shape))), 0x980u);
    shape.plus = false;
    EXPECT_EQ(tb::program_image_size(f.write(make_pe(shape))), 0x980u);
}

TEST(PeImage, DamagedHeadersGiveNoSize) {
    tb::test::ScratchFile f("tamblor-pe", ".exe");
    std::string good = make_pe(PeShape{});

    std::string bad_signature = good;
    bad_signature[0x81] = 'X';
    EXPECT_FALSE(tb::program_image_size(f.write(bad_signature)));

    std::string pointer_past_end = good;
    put(pointer_past_end, 0x3C, 0x10000, 4);
    EXPECT_FALSE(tb::program_image_size(f.write(pointer_past_end)));

    std::string bad_magic = good;
    put(bad_magic, 0x80 + 24, 0x999, 2);
    EXPECT_FALSE(tb::program_image_size(f.write(bad_magic)));

    std::string too_many_sections = good;
    put(too_many_sections, 0x84 + 2, 200, 2);  // the table would run past the file
    EXPECT_FALSE(tb::program_image_size(f.write(too_many_sections)));

    EXPECT_FALSE(tb::program_image_size(f.write("MZ")));
    EXPECT_FALSE(tb::program_image_size(f.write(good.substr(0, 0x90))));
}
