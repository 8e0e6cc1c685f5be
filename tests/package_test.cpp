// The package archive reader and writer, the embedded package, the work
// folder, the package settings and the disk restriction.
#include <gtest/gtest.h>
#include <zlib.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "app/package.h"
#include "app/package_builder.h"
#include "app/package_filter.h"
#include "app/zip_archive.h"
#include "script/app_context.h"
#include "script/script_text.h"
#include "tests/process_runner.h"
#include "tests/scoped_environment.h"
#include "tests/temp_dir.h"

using namespace tb;
namespace fs = std::filesystem;

namespace {

// A scratch folder removed at the end of the test.
class Sandbox {
  public:
    Sandbox() {
        path_ = tb::test::make_temp_dir("tamblor-pkg-test");
    }
    ~Sandbox() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Whether symbolic links can be made here (Windows makes them only for
    // some users; wine not at all).
    bool links_possible() const {
        std::error_code ec;
        fs::create_directory_symlink(path_, *this / "link-probe", ec);
        if (ec) return false;
        fs::remove(*this / "link-probe", ec);
        return true;
    }

  private:
    std::string path_;
};

// Points the temporary folder somewhere else for the test.
using TempDirOverride = tb::test::ScopedTempFolder;

void write_bytes(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every path under a folder, relative, folders with a trailing '/'.
std::set<std::string> tree(const std::string& folder) {
    std::set<std::string> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string rel = fs::relative(it->path(), folder).generic_string();
        out.insert(it->is_directory() && !it->is_symlink() ? rel + "/" : rel);
    }
    return out;
}

std::string compressible(size_t size) {
    std::string s;
    s.reserve(size);
    for (size_t i = 0; s.size() < size; ++i) s += "line " + std::to_string(i % 97) + " of the firmware log\r\n";
    s.resize(size);
    return s;
}

uint32_t crc_of(std::string_view s) {
    return static_cast<uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

void put16(std::string& o, uint32_t v) {
    o.push_back(static_cast<char>(v & 0xFF));
    o.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& o, uint32_t v) {
    put16(o, v & 0xFFFF);
    put16(o, v >> 16);
}
void patch32(std::string& o, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) o[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void patch16(std::string& o, size_t at, uint32_t v) {
    for (int i = 0; i < 2; ++i) o[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
uint32_t get32(const std::string& o, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(o[at + i]);
    return v;
}

// Offset of the n-th central-directory record of an archive built by ZipWriter.
size_t directory_record(const std::string& zip, int n) {
    size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    size_t pos = get32(zip, end + 16);
    for (int i = 0; i < n; ++i) {
        size_t name = static_cast<unsigned char>(zip[pos + 28]) | (static_cast<unsigned char>(zip[pos + 29]) << 8);
        pos += 46 + name;
    }
    return pos;
}
size_t local_header(const std::string& zip, int n) { return get32(zip, directory_record(zip, n) + 42); }

std::map<std::string, ZipStatus> extract_file(const std::string& zip_path, const std::string& folder) {
    ZipReader reader;
    EXPECT_TRUE(reader.open(zip_path));
    fs::create_directories(folder);
    std::map<std::string, ZipStatus> out;
    for (const ZipEntryReport& r : extract_all(reader, folder).entries) out[r.name] = r.status;
    return out;
}

// Three entries: stored text, a deflated file in sub-folders, a deflated small one.
std::string three_entry_archive(bool qz = false) {
    ZipWriter w(qz);
    w.add("readme.txt", "plain text", kZipStored);
    w.add("fw/images/big.bin", compressible(200000), kZipDeflated);
    w.add("ErrCodeList.ini", "[ErrorCodeString]\r\n0x0000=SUCCESS\r\n" + compressible(500), kZipDeflated);
    return w.finish();
}

}  // namespace

// ---------------------------------------------------------------- archive

TEST(ZipArchive, RoundTripStoredAndDeflated) {
    Sandbox box;
    ZipWriter w;
    const std::string big = compressible(300000);  // many 16 KB pieces both ways
    std::string random(70000, '\0');
    uint32_t x = 1;
    for (char& c : random) c = static_cast<char>((x = x * 0x081E4F25 + 0xA2C6302D) >> 24);
    ASSERT_TRUE(w.add("a.txt", "stored content", kZipStored));
    ASSERT_TRUE(w.add("deep/er/big.log", big, kZipDeflated));
    ASSERT_TRUE(w.add("noise.bin", random, kZipDeflated));  // does not shrink: kept stored
    ASSERT_TRUE(w.add("empty.dat", "", kZipDeflated));
    ASSERT_TRUE(w.add("tool.sh", "#!/bin/sh\n", kZipStored, 0755));
    ASSERT_TRUE(w.add_directory("logs"));
    write_bytes(box / "t.zip", w.finish());

    ZipReader reader;
    ASSERT_TRUE(reader.open(box / "t.zip"));
    ASSERT_EQ(reader.entries().size(), 6u);
    EXPECT_EQ(reader.entries()[0].method, kZipStored);
    EXPECT_EQ(reader.entries()[1].method, kZipDeflated);
    EXPECT_LT(reader.entries()[1].compressed_size, big.size() / 4);
    EXPECT_EQ(reader.entries()[2].method, kZipStored);
    EXPECT_EQ(reader.entries()[1].uncompressed_size, big.size());

    std::string out;
    EXPECT_EQ(reader.read_entry(reader.entries()[1], out), ZipStatus::Ok);
    EXPECT_EQ(out, big);

    std::string folder = box / "x";
    fs::create_directory(folder);
    ZipExtractReport report = extract_all(reader, folder);
    EXPECT_EQ(report.extracted, 6u);
    EXPECT_EQ(report.failed, 0u);
    EXPECT_EQ(read_bytes(folder + "/a.txt"), "stored content");
    EXPECT_EQ(read_bytes(folder + "/deep/er/big.log"), big);
    EXPECT_EQ(read_bytes(folder + "/noise.bin"), random);
    EXPECT_TRUE(fs::is_regular_file(folder + "/empty.dat"));
    EXPECT_EQ(fs::file_size(folder + "/empty.dat"), 0u);
    EXPECT_TRUE(fs::is_directory(folder + "/logs"));
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(::stat((folder + "/tool.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
#endif
}

TEST(ZipArchive, HandMadeArchiveWithPrefixCommentAndBackslashNames) {
    // Built byte by byte: a stored entry with a QZ local header, a deflated
    // entry (one final stored deflate block) whose name uses '\' folders,
    // an archive comment, and unrelated bytes before the archive.
    const std::string hello = "Hello";
    const std::string world = "World!";
    std::string deflated = std::string("\x01", 1);  // BFINAL=1, BTYPE=00
    put16(deflated, static_cast<uint32_t>(world.size()));
    put16(deflated, ~static_cast<uint32_t>(world.size()) & 0xFFFF);
    deflated += world;

    struct Item {
        std::string name, data;
        uint16_t method;
        uint32_t crc, raw;
        const char* sig;
    };
    std::vector<Item> items = {
        {"hello.txt", hello, 0, crc_of(hello), static_cast<uint32_t>(hello.size()), "QZ\x03\x04"},
        {"dir\\sub\\world.txt", deflated, 8, crc_of(world), static_cast<uint32_t>(world.size()), "PK\x03\x04"},
    };
    std::string zip, central;
    for (const Item& it : items) {
        uint32_t offset = static_cast<uint32_t>(zip.size());
        zip.append(it.sig, 4);
        put16(zip, 20);
        put16(zip, 0);
        put16(zip, it.method);
        put16(zip, 0x6000);  // 12:00:00
        put16(zip, 0x5A21);  // 2025-01-01
        put32(zip, it.crc);
        put32(zip, static_cast<uint32_t>(it.data.size()));
        put32(zip, it.raw);
        put16(zip, static_cast<uint32_t>(it.name.size()));
        put16(zip, 4);  // an unknown extra field, to be skipped
        zip += it.name;
        zip += std::string("\xFE\xCA\x00\x00", 4);
        zip += it.data;

        central.append("PK\x01\x02", 4);
        put16(central, 20);  // made by DOS
        put16(central, 20);
        put16(central, 0);
        put16(central, it.method);
        put16(central, 0x6000);
        put16(central, 0x5A21);
        put32(central, it.crc);
        put32(central, static_cast<uint32_t>(it.data.size()));
        put32(central, it.raw);
        put16(central, static_cast<uint32_t>(it.name.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put32(central, 0x20);  // archive bit
        put32(central, offset);
        central += it.name;
    }
    uint32_t dir_offset = static_cast<uint32_t>(zip.size());
    zip += central;
    zip.append("PK\x05\x06", 4);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, 2);
    put16(zip, 2);
    put32(zip, static_cast<uint32_t>(central.size()));
    put32(zip, dir_offset);
    const std::string comment = "packaged; PK\x05\x06 lookalike inside the comment";
    put16(zip, static_cast<uint32_t>(comment.size()));
    zip += comment;

    Sandbox box;
    const std::string prefix = "\x7F" "ELF not really an executable";
    write_bytes(box / "pkg.bin", prefix + zip + "trailing bytes");
    ZipReader reader;
    ASSERT_TRUE(reader.open(box / "pkg.bin", prefix.size(), zip.size()));
    ASSERT_EQ(reader.entries().size(), 2u);
    EXPECT_EQ(reader.entries()[1].name, "dir\\sub\\world.txt");
    std::string folder = box / "out";
    fs::create_directory(folder);
    ZipExtractReport report = extract_all(reader, folder);
    EXPECT_EQ(report.failed, 0u);
    EXPECT_EQ(read_bytes(folder + "/hello.txt"), hello);
    EXPECT_EQ(read_bytes(folder + "/dir/sub/world.txt"), world);
    EXPECT_EQ(tree(folder), (std::set<std::string>{"hello.txt", "dir/", "dir/sub/", "dir/sub/world.txt"}));
    // The stored date and time become the file's modification time.
    std::tm tm{};
    tm.tm_year = 125;
    tm.tm_mon = 0;
    tm.tm_mday = 1;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    const auto written = fs::last_write_time(folder + "/hello.txt");
    const auto as_system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(written));
    EXPECT_EQ(std::chrono::system_clock::to_time_t(as_system), std::mktime(&tm));
}

TEST(ZipArchive, QzLocalHeadersExtractLikePk) {
    Sandbox box;
    std::string pk = three_entry_archive(false), qz = three_entry_archive(true);
    ASSERT_EQ(qz.compare(0, 4, "QZ\x03\x04"), 0);
    ASSERT_EQ(qz.compare(local_header(qz, 1), 4, "QZ\x03\x04"), 0);
    // Only the local header signatures differ.
    ASSERT_EQ(pk.size(), qz.size());
    write_bytes(box / "pk.zip", pk);
    write_bytes(box / "qz.zip", qz);
    auto a = extract_file(box / "pk.zip", box / "pk");
    auto b = extract_file(box / "qz.zip", box / "qz");
    EXPECT_EQ(a, b);
    for (auto& [name, status] : b) EXPECT_EQ(status, ZipStatus::Ok) << name;
    EXPECT_EQ(tree(box / "pk"), tree(box / "qz"));
    EXPECT_EQ(read_bytes(box / "qz/fw/images/big.bin"), compressible(200000));
}

TEST(ZipArchive, OtherLocalSignatureFailsOnlyThatEntry) {
    Sandbox box;
    std::string zip = three_entry_archive();
    zip.replace(local_header(zip, 1), 2, "QK");
    write_bytes(box / "t.zip", zip);
    auto r = extract_file(box / "t.zip", box / "x");
    EXPECT_EQ(r["fw/images/big.bin"], ZipStatus::BadLocalSignature);
    EXPECT_EQ(r["readme.txt"], ZipStatus::Ok);
    EXPECT_EQ(r["ErrCodeList.ini"], ZipStatus::Ok);
    EXPECT_FALSE(fs::exists(box / "x/fw/images/big.bin"));
}

TEST(ZipArchive, CorruptDataIsSkippedAndRemovedTheRestExtracted) {
    Sandbox box;
    std::string zip = three_entry_archive();
    // A flipped byte in the stored entry's data: CRC mismatch.
    size_t data0 = local_header(zip, 0) + 30 + std::string("readme.txt").size();
    zip[data0 + 3] ^= 0x20;
    // A flipped byte deep inside the deflated data: inflate error or CRC mismatch.
    size_t data1 = local_header(zip, 1) + 30 + std::string("fw/images/big.bin").size();
    zip[data1 + 200] ^= 0x5A;
    write_bytes(box / "t.zip", zip);
    auto r = extract_file(box / "t.zip", box / "x");
    EXPECT_EQ(r["readme.txt"], ZipStatus::CrcMismatch);
    EXPECT_TRUE(r["fw/images/big.bin"] == ZipStatus::CrcMismatch || r["fw/images/big.bin"] == ZipStatus::DataError)
        << zip_status_text(r["fw/images/big.bin"]);
    EXPECT_EQ(r["ErrCodeList.ini"], ZipStatus::Ok);
    // Bad entries leave no half-written files behind.
    EXPECT_FALSE(fs::exists(box / "x/readme.txt"));
    EXPECT_FALSE(fs::exists(box / "x/fw/images/big.bin"));
    EXPECT_TRUE(fs::exists(box / "x/ErrCodeList.ini"));
}

TEST(ZipArchive, LocalHeaderMustAgreeWithCentralDirectory) {
    Sandbox box;
    struct Case {
        const char* what;
        size_t field;  // offset in the local header
        int width;
        uint32_t value;
        ZipStatus expected;
    };
    std::vector<Case> cases = {
        {"method", 8, 2, 0, ZipStatus::HeaderMismatch},
        {"crc", 14, 4, 0x12345678, ZipStatus::HeaderMismatch},
        {"compressed size", 18, 4, 10, ZipStatus::HeaderMismatch},
        {"uncompressed size", 22, 4, 10, ZipStatus::HeaderMismatch},
        {"name length", 26, 2, 5, ZipStatus::HeaderMismatch},
    };
    for (const Case& c : cases) {
        std::string zip = three_entry_archive();
        size_t at = local_header(zip, 1) + c.field;
        if (c.width == 2)
            patch16(zip, at, c.value);
        else
            patch32(zip, at, c.value);
        write_bytes(box / "t.zip", zip);
        auto r = extract_file(box / "t.zip", box / c.what);
        EXPECT_EQ(r["fw/images/big.bin"], c.expected) << c.what;
        EXPECT_EQ(r["readme.txt"], ZipStatus::Ok) << c.what;
        EXPECT_EQ(r["ErrCodeList.ini"], ZipStatus::Ok) << c.what;
    }
    // Methods other than stored and deflate are refused even when both agree.
    std::string zip = three_entry_archive();
    patch16(zip, local_header(zip, 2) + 8, 12);
    patch16(zip, directory_record(zip, 2) + 10, 12);
    write_bytes(box / "t.zip", zip);
    EXPECT_EQ(extract_file(box / "t.zip", box / "bz")["ErrCodeList.ini"], ZipStatus::BadMethod);
}

TEST(ZipArchive, DataDescriptorFlagExemptsSizesAndCrcFromTheCheck) {
    Sandbox box;
    std::string zip = three_entry_archive();
    size_t lh = local_header(zip, 1);
    patch16(zip, lh + 6, 0x0808);
    patch32(zip, lh + 14, 0);
    patch32(zip, lh + 18, 0);
    patch32(zip, lh + 22, 0);
    write_bytes(box / "t.zip", zip);
    auto r = extract_file(box / "t.zip", box / "x");
    EXPECT_EQ(r["fw/images/big.bin"], ZipStatus::Ok);
    EXPECT_EQ(read_bytes(box / "x/fw/images/big.bin"), compressible(200000));
}

TEST(ZipArchive, InflatingMoreThanTheDeclaredSizeFails) {
    Sandbox box;
    std::string zip = three_entry_archive();
    patch32(zip, local_header(zip, 1) + 22, 1000);
    patch32(zip, directory_record(zip, 1) + 24, 1000);
    write_bytes(box / "t.zip", zip);
    auto r = extract_file(box / "t.zip", box / "x");
    EXPECT_EQ(r["fw/images/big.bin"], ZipStatus::Overflow);
    EXPECT_FALSE(fs::exists(box / "x/fw/images/big.bin"));
}

TEST(ZipArchive, EntryPointingPastTheDirectoryIsTruncated) {
    Sandbox box;
    std::string zip = three_entry_archive();
    patch32(zip, directory_record(zip, 0) + 42, static_cast<uint32_t>(zip.size() - 10));
    write_bytes(box / "t.zip", zip);
    auto r = extract_file(box / "t.zip", box / "x");
    EXPECT_EQ(r["readme.txt"], ZipStatus::Truncated);
    EXPECT_EQ(r["ErrCodeList.ini"], ZipStatus::Ok);
}

TEST(ZipArchive, NotAnArchive) {
    Sandbox box;
    ZipReader reader;
    write_bytes(box / "junk", compressible(5000));
    EXPECT_FALSE(reader.open(box / "junk"));
    write_bytes(box / "short", "PK\x05\x06");
    EXPECT_FALSE(reader.open(box / "short"));
    EXPECT_FALSE(reader.open(box / "missing"));
    EXPECT_FALSE(reader.open(box.path()));
    EXPECT_TRUE(reader.entries().empty());
    // An archive of no entries is an archive.
    write_bytes(box / "empty.zip", ZipWriter().finish());
    EXPECT_TRUE(reader.open(box / "empty.zip"));
    EXPECT_TRUE(reader.entries().empty());
}

TEST(ZipArchive, HostileNamesAreRefusedAndNothingLeavesTheFolder) {
    Sandbox box;
    std::string target = box / "work";
    fs::create_directory(target);
    const std::vector<std::string> hostile = {
        "../x",           "a/../../x",      "C:\\x",         "..\\x",           "a\\..\\..\\x",
        "/etc/x",         "\\x",            box / "abs.txt", "c:x",             "..",
        "sub/.. /x",      "sub/.../x",      "sub/..",        "\\\\?\\C:\\x",    std::string("nul\0x", 5),
        "tab\there",      "./../x",
    };
    ZipWriter w;
    ASSERT_TRUE(w.add("ok.txt", "fine", kZipStored));
    for (const std::string& name : hostile) ASSERT_TRUE(w.add(name, "evil", kZipStored)) << name;
    ASSERT_TRUE(w.add("sub/also_ok.txt", "fine too", kZipDeflated));
    write_bytes(box / "t.zip", w.finish());

    ZipReader reader;
    ASSERT_TRUE(reader.open(box / "t.zip"));
    ZipExtractReport report = extract_all(reader, target);
    ASSERT_EQ(report.entries.size(), hostile.size() + 2);
    for (size_t i = 0; i < hostile.size(); ++i)
        EXPECT_EQ(report.entries[i + 1].status, ZipStatus::UnsafeName) << hostile[i];
    EXPECT_EQ(report.extracted, 2u);
    EXPECT_EQ(tree(box.path()), (std::set<std::string>{"t.zip", "work/", "work/ok.txt", "work/sub/",
                                                        "work/sub/also_ok.txt"}));
    EXPECT_FALSE(fs::exists("/etc/x"));
}

TEST(ZipArchive, SafeEntryPaths) {
    EXPECT_EQ(safe_entry_path("a\\b\\c.txt"), "a/b/c.txt");
    EXPECT_EQ(safe_entry_path("./a//b"), "a/b");
    EXPECT_EQ(safe_entry_path("logs/"), "logs/");
    EXPECT_EQ(safe_entry_path("Update FW (2).scpx"), "Update FW (2).scpx");
    EXPECT_EQ(safe_entry_path(".hidden/..x"), ".hidden/..x");
    EXPECT_EQ(safe_entry_path("\xE6\xB8\xAC\xE8\xA9\xA6.txt"), "\xE6\xB8\xAC\xE8\xA9\xA6.txt");
    EXPECT_FALSE(safe_entry_path(""));
    EXPECT_FALSE(safe_entry_path("./"));
    EXPECT_FALSE(safe_entry_path("a/b/../../../c"));
    EXPECT_FALSE(safe_entry_path("file.txt:stream"));
}

TEST(ZipArchive, LinksInsideTheTargetAreNotFollowed) {
    Sandbox box;
    if (!box.links_possible()) GTEST_SKIP() << "no symbolic links on this system for this user";
    std::string target = box / "work", outside = box / "outside";
    fs::create_directories(target);
    fs::create_directories(outside);
    write_bytes(outside + "/victim.txt", "original");
    fs::create_directory_symlink(outside, target + "/link");
    fs::create_symlink(outside + "/victim.txt", target + "/victim.txt");

    ZipWriter w;
    w.add("link/evil.txt", "evil", kZipStored);
    w.add("victim.txt", "evil", kZipStored);
    w.add("good.txt", "good", kZipStored);
    write_bytes(box / "t.zip", w.finish());
    auto r = extract_file(box / "t.zip", target);
    EXPECT_EQ(r["link/evil.txt"], ZipStatus::CreateFailed);
    EXPECT_EQ(r["victim.txt"], ZipStatus::CreateFailed);
    EXPECT_EQ(r["good.txt"], ZipStatus::Ok);
    EXPECT_EQ(tree(outside), std::set<std::string>{"victim.txt"});
    EXPECT_EQ(read_bytes(outside + "/victim.txt"), "original");
}

TEST(ZipArchive, ExistingFileIsReplaced) {
    Sandbox box;
    write_bytes(box / "work/a.txt", "a much longer old content");
    ZipWriter w;
    w.add("a.txt", "new", kZipStored);
    write_bytes(box / "t.zip", w.finish());
    EXPECT_EQ(extract_file(box / "t.zip", box / "work")["a.txt"], ZipStatus::Ok);
    EXPECT_EQ(read_bytes(box / "work/a.txt"), "new");
}

// ---------------------------------------------------------------- embedded package

TEST(Package, TrailerLocatesTheArchive) {
    Sandbox box;
    const std::string player = "\x7F" "ELF" + compressible(3000);
    write_bytes(box / "player", player);
    EXPECT_FALSE(find_embedded_package(box / "player"));
    EXPECT_FALSE(find_embedded_package(box / "missing"));
    // A trailer claiming more bytes than the file holds is no package.
    write_bytes(box / "liar", "abc" + package_trailer(1000));
    EXPECT_FALSE(find_embedded_package(box / "liar"));

    std::string archive = three_entry_archive(), error;
    ASSERT_TRUE(write_packaged_executable(box / "player", archive, box / "packed", error)) << error;
    auto where = find_embedded_package(box / "packed");
    ASSERT_TRUE(where);
    EXPECT_EQ(where->offset, player.size());
    EXPECT_EQ(where->length, archive.size());
    EXPECT_EQ(read_bytes(box / "packed").substr(0, player.size()), player);
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(::stat((box / "packed").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0111, 0111u);
#endif

    // Packing a packed player replaces its package rather than stacking a second.
    ZipWriter small;
    small.add("only.txt", "x", kZipStored);
    std::string archive2 = small.finish();
    ASSERT_TRUE(write_packaged_executable(box / "packed", archive2, box / "repacked", error)) << error;
    where = find_embedded_package(box / "repacked");
    ASSERT_TRUE(where);
    EXPECT_EQ(where->offset, player.size());
    EXPECT_EQ(fs::file_size(box / "repacked"), player.size() + archive2.size() + kPackageTrailerSize);
}

namespace {

// A package folder as a script author keeps it.
void make_package_folder(const std::string& dir, const std::string& info) {
    write_bytes(dir + "/Update_FW.scpt", "Delay(sec:1);\r\n// done\r\nExit();\r\n");
    write_bytes(dir + "/ScriptInfo.ini", info);
    write_bytes(dir + "/Update_FW.scpx", "caption source");
    write_bytes(dir + "/ExtCmd.ini", "[Bench]\r\n");
    write_bytes(dir + "/fw/image.bin", compressible(40000));
}

}  // namespace

TEST(Package, BuildAndPrepareFromAPackedPlayer) {
    Sandbox box;
    TempDirOverride tmp(box / "tmp");
    fs::create_directory(box / "tmp");
    make_package_folder(box / "src", "[SCRIPTINFO]\r\nKERNEL=Tamblor 9.0.2.25\r\nStyle=30\r\nDOSMini=2\r\nSOCID=KORVANTE\r\n");
    write_bytes(box / "my tool(2)", "\x7F" "ELF player");

    std::string archive, error;
    std::vector<std::string> names;
    PackageBuildOptions options;
    options.qz_signature = true;
    ASSERT_TRUE(build_package_archive(box / "src", options, archive, error, &names)) << error;
    EXPECT_EQ(names, (std::vector<std::string>{"script.encode", "ScriptInfo.ini", "ExtCmd.ini", "Update_FW.scpx",
                                               "fw/image.bin"}));
    ASSERT_TRUE(write_packaged_executable(box / "my tool(2)", archive, box / "my tool(2).pkg", error));
    // The packed player keeps the player's name for the work folder.
    fs::rename(box / "my tool(2).pkg", box / "my tool(2)");

    PreparedPackage pkg;
    ASSERT_EQ(prepare_package(box / "my tool(2)", pkg), PackageStatus::Ready);
    EXPECT_EQ(pkg.extraction.failed, 0u);
    EXPECT_EQ(fs::path(pkg.work_folder).parent_path(), fs::path(box / "tmp/TamblorLite"));
    EXPECT_EQ(fs::path(pkg.work_folder).filename().string().rfind("my_tool_2__", 0), 0u) << pkg.work_folder;
    EXPECT_EQ(pkg.script_folder, pkg.work_folder);
    EXPECT_EQ(pkg.ext_cmd_folder, pkg.work_folder);
    EXPECT_EQ(pkg.script_path, pkg.work_folder + "/script.encode");
    // The script is stored encoded and the loader restores it.
    EXPECT_NE(read_bytes(pkg.script_path), read_bytes(box / "src/Update_FW.scpt"));
    EXPECT_EQ(load_script(pkg.script_path), read_bytes(box / "src/Update_FW.scpt"));
    EXPECT_FALSE(fs::exists(pkg.work_folder + "/Update_FW.scpt"));
    EXPECT_EQ(read_bytes(pkg.work_folder + "/fw/image.bin"), compressible(40000));
    EXPECT_EQ(ext_cmd_ini_path(pkg.ext_cmd_folder), pkg.work_folder + "/ExtCmd.ini");

    EXPECT_EQ(pkg.settings.style, 30);
    EXPECT_EQ(pkg.settings.dos_mini, 2);
    EXPECT_EQ(pkg.settings.soc_id, "KORVANTE");
    EXPECT_EQ(pkg.caption, "Update FW");  // no TITLE: from Update_FW.scpx

    {
        WorkFolderGuard guard(pkg.work_folder);
    }
    EXPECT_FALSE(fs::exists(pkg.work_folder));
}

TEST(Package, StartUpFailsWithoutScriptOrSettingsAndLeavesNothing) {
    Sandbox box;
    TempDirOverride tmp(box / "tmp");
    fs::create_directory(box / "tmp");
    write_bytes(box / "player", "\x7F" "ELF player");
    PreparedPackage pkg;
    EXPECT_EQ(prepare_package(box / "player", pkg), PackageStatus::NotPackaged);

    std::string error;
    ZipWriter no_info;
    no_info.add("script.encode", "x", kZipStored);
    ASSERT_TRUE(write_packaged_executable(box / "player", no_info.finish(), box / "a", error));
    EXPECT_EQ(prepare_package(box / "a", pkg), PackageStatus::MissingScriptInfo);

    ZipWriter no_script;
    no_script.add("ScriptInfo.ini", "[SCRIPTINFO]\r\n", kZipStored);
    no_script.add("main.scpt", "Exit();", kZipStored);
    ASSERT_TRUE(write_packaged_executable(box / "player", no_script.finish(), box / "b", error));
    EXPECT_EQ(prepare_package(box / "b", pkg), PackageStatus::MissingScript);

    // A package whose script entry is corrupt is damaged, whatever else it holds.
    ZipWriter corrupt;
    corrupt.add("script.encode", "some script text", kZipStored);
    corrupt.add("ScriptInfo.ini", "[SCRIPTINFO]\r\n", kZipStored);
    std::string zip = corrupt.finish();
    zip[30 + 13 + 2] ^= 1;
    ASSERT_TRUE(write_packaged_executable(box / "player", zip, box / "c", error));
    EXPECT_EQ(prepare_package(box / "c", pkg), PackageStatus::Damaged);
    EXPECT_EQ(pkg.problem, "entry script.encode: CRC mismatch");

    EXPECT_TRUE(pkg.work_folder.empty());
    EXPECT_EQ(tree(box / "tmp"), std::set<std::string>{"TamblorLite/"});
}

TEST(Package, PackerRefusesFoldersWithoutScriptOrSettings) {
    Sandbox box;
    std::string archive, error;
    write_bytes(box / "a/ScriptInfo.ini", "[SCRIPTINFO]\r\n");
    EXPECT_FALSE(build_package_archive(box / "a", {}, archive, error));
    EXPECT_NE(error.find("scpt"), std::string::npos);
    write_bytes(box / "b/main.scpt", "Exit();");
    EXPECT_FALSE(build_package_archive(box / "b", {}, archive, error));
    EXPECT_NE(error.find("ScriptInfo.ini"), std::string::npos);
    write_bytes(box / "c/main.scpt", "Exit();");
    write_bytes(box / "c/sub.scpt", "Exit();");
    write_bytes(box / "c/ScriptInfo.ini", "[SCRIPTINFO]\r\n");
    EXPECT_FALSE(build_package_archive(box / "c", {}, archive, error));
    // Choosing the main script keeps the other one as a plain companion.
    PackageBuildOptions options;
    options.script = "main.scpt";
    std::vector<std::string> names;
    ASSERT_TRUE(build_package_archive(box / "c", options, archive, error, &names)) << error;
    EXPECT_EQ(names, (std::vector<std::string>{"script.encode", "ScriptInfo.ini", "sub.scpt"}));
}

TEST(Package, TwoWorkFoldersInTheSameSecondDiffer) {
    Sandbox box;
    TempDirOverride tmp(box.path());
    std::set<std::string> folders;
    for (int i = 0; i < 5; ++i) {
        std::string f = create_work_folder("/opt/x/tamblor");
        ASSERT_FALSE(f.empty());
        EXPECT_TRUE(fs::is_directory(f));
        EXPECT_TRUE(fs::is_empty(f));
        folders.insert(f);
    }
    EXPECT_EQ(folders.size(), 5u);
    EXPECT_NE(fs::path(*folders.begin()).generic_string().find("/TamblorLite/tamblor_"), std::string::npos);
    EXPECT_NE(folders.begin()->find("_" + std::to_string(tb::test::this_process_id())), std::string::npos);
}

TEST(Package, ForeignParentFolderIsNotUsed) {
    Sandbox box;
    if (!box.links_possible()) GTEST_SKIP() << "no symbolic links on this system for this user";
    TempDirOverride tmp(box.path());
    fs::create_directory(box / "elsewhere");
    fs::create_directory_symlink(box / "elsewhere", box / "TamblorLite");
    std::string f = create_work_folder("tamblor");
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f.find(box / "TamblorLite/"), std::string::npos) << f;
    EXPECT_TRUE(fs::is_empty(box / "elsewhere"));
}

TEST(Package, GuardRemovesTheFolderButNotWhatLinksPointTo) {
    Sandbox box;
    if (!box.links_possible()) GTEST_SKIP() << "no symbolic links on this system for this user";
    write_bytes(box / "keep.txt", "keep");
    std::string folder = box / "work";
    write_bytes(folder + "/a/b/c.txt", "x");
    fs::create_symlink(box / "keep.txt", folder + "/a/link");
    fs::create_directory_symlink(box.path(), folder + "/up");
    {
        WorkFolderGuard guard(folder);
        WorkFolderGuard moved(std::move(guard));
        EXPECT_TRUE(guard.folder().empty());
        EXPECT_TRUE(fs::exists(folder));
    }
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(read_bytes(box / "keep.txt"), "keep");
    {
        WorkFolderGuard kept(box / "keep.txt");
        EXPECT_EQ(kept.release(), box / "keep.txt");
    }
    EXPECT_TRUE(fs::exists(box / "keep.txt"));
}

TEST(Package, ProgramNameSanitised) {
    EXPECT_EQ(sanitize_program_name("/usr/bin/my tool(2).exe"), "my_tool_2_");
    EXPECT_EQ(sanitize_program_name("tamblor"), "tamblor");
    // One '_' per character, not per byte.
    EXPECT_EQ(sanitize_program_name("t\xC3\xA9st-1"), "t_st_1");
}

// ---------------------------------------------------------------- settings

TEST(Package, SettingsReadFromScriptInfo) {
    Sandbox box;
    write_bytes(box / "ScriptInfo.ini",
                "[Other]\r\nStyle=99\r\n"
                "[scriptinfo]\r\n"
                "KERNEL=Tamblor 9.0.2.25\r\n"
                "Style = 10 ; compact\r\n"
                "DOSMini=3\r\n"
                "TITLE=\"Sanitize Test\"\r\n"
                "DiskType=drive\r\n"
                "ProtocolType=nvme\r\n"
                "SOCID=1A2B,3C4D\r\n"
                "ModelName=SSD A;SSD B\r\n"
                "ShowKorvanteLogo=1\r\n"
                "DebugLogDATX=0x1\r\n"
                "NoDiskCmd=--ver,--help\r\n");
    PackageSettings s = read_package_settings(box / "ScriptInfo.ini");
    EXPECT_EQ(s.style, 10);
    EXPECT_EQ(s.dos_mini, 3);
    EXPECT_EQ(s.title, "Sanitize Test");
    EXPECT_EQ(s.disk_type, 0);
    EXPECT_EQ(s.protocol_filter, kProtocolNvme);
    EXPECT_EQ(s.soc_id, "1A2B,3C4D");
    EXPECT_EQ(s.model_name, "SSD A;SSD B");
    EXPECT_EQ(s.show_logo, 1);
    EXPECT_EQ(s.debug_log, 1);
    EXPECT_EQ(s.no_disk_cmd, "--ver,--help");

    write_bytes(box / "min.ini", "[SCRIPTINFO]\r\nStyle=\r\nDOSMini=abc\r\nProtocolType=USB\r\nDiskType=Volume\r\n"
                                 "SOCID=" + std::string(100, 'F') + "\r\nTITLE=" + std::string(300, 'T') + "\r\n");
    s = read_package_settings(box / "min.ini");
    EXPECT_EQ(s.style, 1);     // empty value: the default
    EXPECT_EQ(s.dos_mini, 0);  // no digits: 0
    EXPECT_EQ(s.protocol_filter, kProtocolAll);
    EXPECT_EQ(s.disk_type, 1);
    EXPECT_EQ(s.soc_id.size(), 63u);
    EXPECT_EQ(s.title.size(), 259u);

    s = read_package_settings(box / "missing.ini");
    EXPECT_EQ(s.style, 1);
    EXPECT_EQ(s.disk_type, 1);
    EXPECT_TRUE(s.title.empty());
}

TEST(Package, ProfileIntegers) {
    EXPECT_EQ(profile_int("30", 1), 30);
    EXPECT_EQ(profile_int(" 31abc", 1), 31);
    EXPECT_EQ(profile_int("-2", 1), -2);
    EXPECT_EQ(profile_int("0x1F", 1), 31);
    EXPECT_EQ(profile_int("", 7), 7);
    EXPECT_EQ(profile_int("x", 7), 0);
}

TEST(Package, SettingsGoIntoTheProcessRecord) {
    reset_app_context();
    AppContext& a = app();
    PreparedPackage pkg;
    pkg.work_folder = "/tmp/w";
    pkg.caption = "Update FW";
    pkg.settings.style = 30;
    pkg.settings.dos_mini = 0;
    pkg.settings.debug_log = 1;
    pkg.settings.show_logo = 1;
    a.ui_mode = 3;       // UI:2 on the command line
    a.debug_level = 2;   // /dbg on the command line
    apply_package_settings(pkg, a);
    EXPECT_EQ(a.run_style, 30);
    EXPECT_EQ(a.ui_mode, 0);  // DOSMini replaces the command line's UI mode
    EXPECT_EQ(a.debug_level, 2);
    EXPECT_EQ(a.caption, "Update FW");
    EXPECT_EQ(a.logo, 1);
    EXPECT_EQ(a.work_folder, "/tmp/w");
    a.debug_level = 0;
    apply_package_settings(pkg, a);
    EXPECT_EQ(a.debug_level, 1);
    reset_app_context();
}

TEST(Package, CaptionFallbackFromScriptFiles) {
    Sandbox box;
    EXPECT_EQ(caption_from_script_files(box.path()), "");
    write_bytes(box / "a.scpt.bak", "");
    write_bytes(box / "notes.scpxx", "");
    EXPECT_EQ(caption_from_script_files(box.path()), "");
    write_bytes(box / "Update_FW.scpx", "");
    EXPECT_EQ(caption_from_script_files(box.path()), "Update FW");
    fs::create_directory(box / "A_folder.scpx");  // folders do not count
    EXPECT_EQ(caption_from_script_files(box.path()), "Update FW");
    write_bytes(box / "Burn_In.v2.SCP", "");
    EXPECT_EQ(caption_from_script_files(box.path()), "Burn In.v2");
}

// ---------------------------------------------------------------- disk restriction

namespace {
DiskIdentity disk(std::string model, int64_t soc, int protocol = 10) {
    DiskIdentity d;
    d.model = std::move(model);
    d.soc_id = soc;
    d.access_protocol = protocol;
    return d;
}
}  // namespace

TEST(PackageFilter, ModelFilter) {
    EXPECT_TRUE(model_filter_accepts("", disk("anything", 0)));
    EXPECT_TRUE(model_filter_accepts("**", disk("anything", 0)));
    EXPECT_TRUE(model_filter_accepts("SSD A 512GB;SSD B 1TB", disk("  SSD B 1TB   ", 0)));
    EXPECT_FALSE(model_filter_accepts("SSD A 512GB;SSD B 1TB", disk("ssd b 1tb", 0)));  // case-sensitive
    EXPECT_FALSE(model_filter_accepts("SSD A 512GB", disk("SSD C", 0)));
    EXPECT_FALSE(model_filter_accepts("SSD A", disk("       ", 0)));
    DiskIdentity failed = disk("SSD A", 0);
    failed.model_read = false;
    EXPECT_FALSE(model_filter_accepts("SSD A", failed));
    EXPECT_TRUE(model_filter_accepts("UNKNOW;SSD A", disk("UNKNOW", 0, 21)));
}

TEST(PackageFilter, ControllerFilter) {
    EXPECT_TRUE(soc_filter_accepts("1A2B,3C4D", disk("m", 0x3C4D)));
    EXPECT_FALSE(soc_filter_accepts("1A2B,3C4D", disk("m", 0x1234)));
    EXPECT_TRUE(soc_filter_accepts("0ABC", disk("m", 0xABC)));  // written with four digits
    EXPECT_FALSE(soc_filter_accepts("", disk("m", 0x1A2B)));
    EXPECT_FALSE(soc_filter_accepts("", disk("m", 0)));
    EXPECT_TRUE(soc_filter_accepts("*", disk("m", 0)));
    EXPECT_TRUE(soc_filter_accepts("_WithOutDrv", disk("m", 0)));
    EXPECT_TRUE(soc_filter_accepts("KORVANTE", disk("m", 0x2263)));
    EXPECT_FALSE(soc_filter_accepts("KORVANTE", disk("m", 0)));
    // A failed identification fails every filter value.
    for (const char* f : {"*", "KORVANTE", "_WithOutDrv", "FFFFFFFF", ""})
        EXPECT_FALSE(soc_filter_accepts(f, disk("m", -1))) << f;
}

TEST(PackageFilter, RestrictionCombinesModelThenController) {
    // "**" lists every disk whatever SOCID says.
    EXPECT_TRUE(package_accepts_disk("**", "", disk("x", 0)));
    EXPECT_TRUE(package_accepts_disk("**", "1A2B", disk("x", -1)));
    EXPECT_TRUE(package_accepts_disk("", "1A2B", disk("x", 0x1A2B)));
    EXPECT_FALSE(package_accepts_disk("", "1A2B", disk("x", 0x3C4D)));
    EXPECT_FALSE(package_accepts_disk("SSD A", "*", disk("SSD B", 5)));
    EXPECT_TRUE(package_accepts_disk("SSD A", "*", disk("SSD A", 5)));
    EXPECT_FALSE(package_accepts_disk("SSD A", "", disk("SSD A", 5)));
}

TEST(PackageFilter, ProtocolFilter) {
    EXPECT_EQ(parse_protocol_filter("sata"), kProtocolSata);
    EXPECT_EQ(parse_protocol_filter("ALL"), kProtocolAll);
    EXPECT_EQ(parse_protocol_filter("PCIe"), kProtocolAll);
    EXPECT_EQ(parse_disk_type("DRIVE"), 0);
    EXPECT_EQ(parse_disk_type(""), 1);
    for (int p : {1, 2}) EXPECT_TRUE(protocol_filter_accepts(kProtocolSata, disk("m", 0, p)));
    for (int p : {10, 15, 21}) EXPECT_FALSE(protocol_filter_accepts(kProtocolSata, disk("m", 0, p)));
    for (int p : {10, 11, 12, 13, 14, 16, 17}) EXPECT_TRUE(protocol_filter_accepts(kProtocolNvme, disk("m", 0, p)));
    for (int p : {1, 2, 15, 18, 20}) EXPECT_FALSE(protocol_filter_accepts(kProtocolNvme, disk("m", 0, p)));
    for (int p : {1, 15, 20, 21}) EXPECT_TRUE(protocol_filter_accepts(kProtocolAll, disk("m", 0, p)));
}

TEST(PackageFilter, RunsWithoutDisk) {
    EXPECT_TRUE(no_disk_command_requested("--ver,--help", "--help$"));
    EXPECT_TRUE(no_disk_command_requested("--ver, --help", "a=1$--HELP$"));
    EXPECT_FALSE(no_disk_command_requested("--ver,--help", "--helpme$"));
    EXPECT_FALSE(no_disk_command_requested("", "x$"));
    EXPECT_FALSE(no_disk_command_requested(",,", "x$"));
    // Only the first 16 words count.
    std::string many;
    for (int i = 0; i < 16; ++i) many += "w" + std::to_string(i) + ",";
    EXPECT_FALSE(no_disk_command_requested(many + "late", "late$"));
    EXPECT_TRUE(no_disk_command_requested(many + "late", "w15$"));

    EXPECT_EQ(effective_model_filter("SSD A", "_WithOutDrv", "", ""), "**");
    EXPECT_EQ(effective_model_filter("SSD A", "1A2B", "--ver", "--ver$"), "**");
    EXPECT_EQ(effective_model_filter("SSD A", "1A2B", "--ver", "x$"), "SSD A");
}
