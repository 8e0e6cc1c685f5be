// What the package reader refuses: archives over the extraction limits,
// unsafe file modes, directories that miss entries, and programs whose
// package lost its trailer.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/package.h"
#include "app/package_builder.h"
#include "app/program_image.h"
#include "app/zip_archive.h"
#include "app/zip_limits.h"
#include "tests/scoped_environment.h"
#include "tests/temp_dir.h"
#include "tests/zip_craft.h"

using namespace tb;
using namespace tb::test;
namespace fs = std::filesystem;

namespace {

class Scratch {
  public:
    Scratch() {
        path_ = make_temp_dir("tamblor-lim");
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

void write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ZipEntry entry(const std::string& name, uint32_t packed, uint32_t size, uint16_t method = kZipDeflated) {
    ZipEntry e;
    e.name = name;
    e.method = method;
    e.compressed_size = packed;
    e.uncompressed_size = size;
    return e;
}

}  // namespace

TEST(ZipLimits, EntrySizeAndRatio) {
    ZipLimits limits;  // 1 GiB an entry, 1000:1 above 4 MiB
    EXPECT_FALSE(entry_over_limits(entry("fw.bin", 30u << 20, 40u << 20), limits));
    EXPECT_FALSE(entry_over_limits(entry("small.bin", 10, 1u << 20), limits)) << "small entries may pack well";
    EXPECT_FALSE(entry_over_limits(entry("pad.bin", 1000, 1000u * 1000), limits));
    EXPECT_FALSE(entry_over_limits(entry("plain.bin", 900u << 20, 900u << 20, kZipStored), limits));

    auto huge = entry_over_limits(entry("big.bin", 2u << 30, 0xC0000000u), limits);
    ASSERT_TRUE(huge);
    EXPECT_EQ(*huge, "entry big.bin: declares 3221225472 bytes, over the limit of 1073741824 for one entry");
    auto bomb = entry_over_limits(entry("zeros.bin", 65000, 64u << 20), limits);
    ASSERT_TRUE(bomb);
    EXPECT_EQ(bomb->rfind("entry zeros.bin: compression ratio 1032:1", 0), 0u) << *bomb;
    EXPECT_TRUE(entry_over_limits(entry("nothing.bin", 0, 5u << 20), limits)) << "no data for megabytes";
}

TEST(ZipLimits, TotalAndFreeSpace) {
    ZipLimits limits;
    limits.entry_bytes = 100;
    limits.total_bytes = 250;
    std::vector<ZipEntry> entries{entry("a", 100, 100), entry("b", 100, 100)};
    EXPECT_FALSE(archive_over_limits(entries, limits, 1000));
    auto no_room = archive_over_limits(entries, limits, 150);
    ASSERT_TRUE(no_room);
    EXPECT_EQ(*no_room, "the entries need 200 bytes, the work folder's file system has 150 free");
    entries.push_back(entry("c", 100, 100));
    auto total = archive_over_limits(entries, limits, 1000);
    ASSERT_TRUE(total);
    EXPECT_EQ(*total, "the entries declare 300 bytes together, over the limit of 250");
    entries.push_back(entry("d", 101, 101));
    EXPECT_EQ(archive_over_limits(entries, limits, 1000)->rfind("entry d: declares 101", 0), 0u);

    Scratch box;
    EXPECT_GT(free_space_of(box / ""), 0u);
    EXPECT_EQ(free_space_of(box / "missing/folder"), UINT64_MAX);
}

TEST(ZipLimits, ExtractionStopsAtTheLimitsWithoutWriting) {
    Scratch box;
    ZipWriter w;
    w.add("one.txt", std::string(60, 'a'), kZipStored);
    w.add("two.txt", std::string(60, 'b'), kZipStored);
    w.add("big.txt", std::string(200, 'c'), kZipStored);
    write_bytes(box / "t.zip", w.finish());
    fs::create_directory(box / "out");
    ZipReader reader;
    ASSERT_TRUE(reader.open(box / "t.zip"));
    ZipLimits limits;
    limits.entry_bytes = 100;
    limits.total_bytes = 100;
    ZipExtractReport report = extract_all(reader, box / "out", limits);
    ASSERT_EQ(report.entries.size(), 3u);
    EXPECT_EQ(report.entries[0].status, ZipStatus::Ok);
    EXPECT_EQ(report.entries[1].status, ZipStatus::OverLimit);  // the total
    EXPECT_EQ(report.entries[2].status, ZipStatus::OverLimit);  // the entry alone
    EXPECT_TRUE(fs::exists(box / "out/one.txt"));
    EXPECT_FALSE(fs::exists(box / "out/two.txt"));
    EXPECT_FALSE(fs::exists(box / "out/big.txt"));
}

TEST(ZipLimits, ExtractedModesAreNeverWorldWritableOrSetId) {
    Scratch box;
    ZipWriter w;
    w.add("open.sh", "#!/bin/sh\n", kZipStored, 0777);
    w.add("suid.bin", "x", kZipStored, 06777);
    w.add("sticky.txt", "x", kZipStored, 01666);
    w.add("plain.txt", "x", kZipStored, 0640);
    write_bytes(box / "t.zip", w.finish());
    fs::create_directory(box / "out");
    ZipReader reader;
    ASSERT_TRUE(reader.open(box / "t.zip"));
    ZipExtractReport report = extract_all(reader, box / "out");
    EXPECT_EQ(report.failed, 0u);
#ifndef _WIN32  // Unix file modes
    auto mode = [&](const char* name) {
        struct stat st {};
        EXPECT_EQ(::stat((box / "out/" + std::string(name)).c_str(), &st), 0) << name;
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode("open.sh"), 0755u);
    EXPECT_EQ(mode("suid.bin"), 0755u);
    EXPECT_EQ(mode("sticky.txt"), 0644u);
    EXPECT_EQ(mode("plain.txt"), 0640u);
#endif
}

TEST(ZipReaderDamage, SoundArchiveHasNone) {
    Scratch box;
    ZipWriter w;
    w.add("a.txt", "a", kZipStored);
    write_bytes(box / "t.zip", w.finish());
    ZipReader reader;
    EXPECT_TRUE(reader.open(box / "t.zip"));
    EXPECT_EQ(reader.damage(), "");
    EXPECT_FALSE(reader.open(box / "missing.zip"));
    EXPECT_EQ(reader.damage(), "cannot read the archive");
}

TEST(ZipReaderDamage, DirectoryAndEndRecordFaults) {
    Scratch box;
    ZipWriter w;
    w.add("a.txt", "a", kZipStored);
    w.add("b.txt", "b", kZipStored);
    const std::string sound = w.finish();
    ZipReader reader;

    std::string cut = sound;
    cut[zip_directory_record(cut, 1) + 1] = 'X';
    write_bytes(box / "cut.zip", cut);
    EXPECT_TRUE(reader.open(box / "cut.zip"));
    EXPECT_EQ(reader.entries().size(), 1u);
    EXPECT_EQ(reader.damage(), "the central directory holds 1 of 2 entries");

    std::string parts = sound;
    zip_patch16(parts, zip_end_record(parts) + 4, 1);  // this part's number
    write_bytes(box / "parts.zip", parts);
    EXPECT_FALSE(reader.open(box / "parts.zip"));
    EXPECT_EQ(reader.damage(), "the end-of-central-directory record names several parts");

    std::string no_end = sound;
    no_end[zip_end_record(no_end) + 2] = 9;
    write_bytes(box / "noend.zip", no_end);
    EXPECT_FALSE(reader.open(box / "noend.zip"));
    EXPECT_EQ(reader.damage(), "no end-of-central-directory record");
}

TEST(ZipReaderDamage, LocalNameMustMatchTheDirectory) {
    Scratch box;
    ZipWriter w;
    w.add("abc.txt", "a", kZipStored);
    std::string zip = w.finish();
    zip[zip_local_header(zip, 0) + 30 + 1] = 'X';
    write_bytes(box / "t.zip", zip);
    ZipReader reader;
    ASSERT_TRUE(reader.open(box / "t.zip"));
    std::string out;
    EXPECT_EQ(reader.read_entry(reader.entries()[0], out), ZipStatus::HeaderMismatch);
}

// ---------------------------------------------------------------- the program's image

TEST(ProgramImage, ThePlayerIsItsWholeFile) {
    auto size = program_image_size(TAMBLOR_BINARY);
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, fs::file_size(TAMBLOR_BINARY));
    Scratch box;
    write_bytes(box / "fake", "\x7F" "ELF player");
    EXPECT_FALSE(program_image_size(box / "fake"));
    EXPECT_FALSE(program_image_size(box / "missing"));
}

TEST(ProgramImage, ProbeTellsAbsentPresentAndCutShort) {
    Scratch box;
    EXPECT_EQ(probe_embedded_package(TAMBLOR_BINARY).kind, PackageProbe::Kind::Absent);

    ZipWriter w;
    w.add("a.txt", std::string(3000, 'a'), kZipStored);
    std::string error;
    ASSERT_TRUE(write_packaged_executable(TAMBLOR_BINARY, w.finish(), box / "packed", error)) << error;
    PackageProbe present = probe_embedded_package(box / "packed");
    ASSERT_EQ(present.kind, PackageProbe::Kind::Present);
    EXPECT_EQ(present.where.offset, fs::file_size(TAMBLOR_BINARY));

    const std::string bytes = read_bytes(box / "packed");
    write_bytes(box / "cut", bytes.substr(0, bytes.size() - 100));
    PackageProbe cut = probe_embedded_package(box / "cut");
    EXPECT_EQ(cut.kind, PackageProbe::Kind::Damaged);
    EXPECT_EQ(cut.problem, "the program file is cut short (no package trailer)");
    EXPECT_FALSE(find_embedded_package(box / "cut"));

    // Packing the cut player again drops what is left of the old package.
    ZipWriter again;
    again.add("b.txt", "b", kZipStored);
    ASSERT_TRUE(write_packaged_executable(box / "cut", again.finish(), box / "repacked", error)) << error;
    PackageProbe repacked = probe_embedded_package(box / "repacked");
    ASSERT_EQ(repacked.kind, PackageProbe::Kind::Present);
    EXPECT_EQ(repacked.where.offset, fs::file_size(TAMBLOR_BINARY));
}

TEST(ProgramImage, PrepareRefusesOverLimitsBeforeWriting) {
    Scratch box;
    fs::create_directory(box / "tmp");
    ScopedTempFolder temp_folder(box / "tmp");
    ZipWriter w;
    w.add("script.encode", "x", kZipStored);
    w.add("ScriptInfo.ini", "[SCRIPTINFO]\r\n", kZipStored);
    w.add("data.bin", std::string(5000, 'd'), kZipStored);
    std::string error;
    ASSERT_TRUE(write_packaged_executable(TAMBLOR_BINARY, w.finish(), box / "player", error)) << error;
    ZipLimits limits;
    limits.entry_bytes = 4000;
    PreparedPackage pkg;
    EXPECT_EQ(prepare_package(box / "player", pkg, limits), PackageStatus::Damaged);
    EXPECT_EQ(pkg.problem, "entry data.bin: declares 5000 bytes, over the limit of 4000 for one entry");
    EXPECT_EQ(package_failure_text(PackageStatus::Damaged, pkg.problem),
              "damaged package: entry data.bin: declares 5000 bytes, over the limit of 4000 for one entry");
    EXPECT_EQ(package_error_code(PackageStatus::Damaged), -90);
    EXPECT_EQ(package_error_code(PackageStatus::MissingScript), -11);
    EXPECT_EQ(package_error_code(PackageStatus::UnpackFailed), -19);
    // Refused by the check before extraction (its message), and no work folder is left.
    EXPECT_EQ(std::distance(fs::directory_iterator(box / "tmp/TamblorLite"), fs::directory_iterator()), 0);
    EXPECT_EQ(prepare_package(box / "player", pkg), PackageStatus::Ready);
    remove_work_folder(pkg.work_folder);
}
