// The debug archive: the fixed transform of its bytes, the archive a job's
// log folder becomes beside the program, and the reader program that turns a
// .datx back into the zip archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "app/zip_archive.h"
#include "common/file_handle.h"
#include "script/app_context.h"
#include "tests/process_runner.h"
#include "tests/temp_dir.h"
#include "ui/datx_transform.h"
#include "ui/debug_archive.h"

namespace tb {
namespace {

namespace fs = std::filesystem;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

// Name -> content of every entry of the zip archive `path`.
std::map<std::string, std::string> zip_contents(const std::string& path) {
    std::map<std::string, std::string> out;
    ZipReader reader;
    EXPECT_TRUE(reader.open(path)) << reader.damage();
    for (const ZipEntry& e : reader.entries()) {
        std::string data;
        EXPECT_EQ(reader.read_entry(e, data), ZipStatus::Ok) << e.name;
        out[e.name] = data;
    }
    return out;
}

TEST(DatxTransform, TheTableIsAPermutationOfAllByteValues) {
    std::set<int> seen(kDatxTable.begin(), kDatxTable.end());
    EXPECT_EQ(seen.size(), 256u);
    int fixed = 0;
    for (int b = 0; b < 256; ++b) fixed += kDatxTable[static_cast<size_t>(b)] == b;
    EXPECT_LT(fixed, 4) << "a table that keeps most bytes hides nothing";
}

TEST(DatxTransform, BytesAreReversedThenSubstituted) {
    // The first bytes of a zip archive and the table's fixed entries for them.
    EXPECT_EQ(datx_encode(bytes({0x50, 0x4B, 0x03, 0x04})), bytes({0xB0, 0xDF, 0x76, 0x0A}));
    EXPECT_EQ(datx_encode(bytes({0x00, 0x01, 0xFF})), bytes({0xD7, 0x89, 0x8B}));
    EXPECT_EQ(datx_encode(""), "");
}

TEST(DatxTransform, DecodingUndoesEncodingForEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    all += all.substr(7, 100);
    EXPECT_EQ(datx_decode(datx_encode(all)), all);
    EXPECT_EQ(datx_decode(bytes({0xD7, 0x89, 0x8B})), bytes({0x00, 0x01, 0xFF}));
    EXPECT_NE(datx_encode(all), all);
}

class DebugArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = test::make_temp_dir("tamblor-datx");
        log_ = (fs::path(root_) / "Log_20261209_101500").string();
        program_ = (fs::path(root_) / "program").string();
        fs::create_directories(fs::path(log_) / "sub");
        fs::create_directories(program_);
        write_file_bytes((fs::path(log_) / "TestLog.htm").string(), "<html>log</html>");
        write_file_bytes((fs::path(log_) / "sub" / "R0000000012.hex").string(), bytes({0, 1, 2, 0xFE, 0xFF}));
        script_ = (fs::path(root_) / "bench.scpt").string();
        write_file_bytes(script_, "Print( Output:\"x\" );\r\n");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
        reset_app_context();
    }
    std::string root_, log_, program_, script_;
};

TEST_F(DebugArchiveTest, TheLogFolderWithItsScriptBecomesADatxBesideTheProgram) {
    const DebugArchive archive = write_debug_archive(log_, script_, program_);
    ASSERT_TRUE(archive.written) << archive.error;
    EXPECT_EQ(fs::path(archive.path), fs::path(program_) / "Log_20261209_101500.datx");
    EXPECT_TRUE(fs::exists(fs::path(log_) / "bench.scpt")) << "the script is copied into the log folder";
    EXPECT_FALSE(fs::exists(log_ + ".zip")) << "the zip is deleted";

    std::string datx;
    ASSERT_TRUE(read_file_bytes(archive.path, datx));
    const std::string zip = datx_decode(datx);
    ASSERT_GE(zip.size(), 4u);
    EXPECT_EQ(zip.substr(0, 4), "PK\x03\x04");
    const std::string zip_path = (fs::path(root_) / "back.zip").string();
    ASSERT_TRUE(write_file_bytes(zip_path, zip));
    const auto entries = zip_contents(zip_path);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries.at("TestLog.htm"), "<html>log</html>");
    EXPECT_EQ(entries.at("sub/R0000000012.hex"), bytes({0, 1, 2, 0xFE, 0xFF}));
    EXPECT_EQ(entries.at("bench.scpt"), "Print( Output:\"x\" );\r\n");
}

TEST_F(DebugArchiveTest, TheReaderProgramTurnsTheDatxBackIntoTheZip) {
    const DebugArchive archive = write_debug_archive(log_, script_, program_);
    ASSERT_TRUE(archive.written) << archive.error;
    std::string datx;
    ASSERT_TRUE(read_file_bytes(archive.path, datx));

    // Beside the input by default.
    test::ProcessResult r = test::run_process({TAMBLOR_DATX_BINARY, {archive.path}, {}, {}});
    ASSERT_TRUE(r.exited) << r.output;
    EXPECT_EQ(r.exit_code, 0) << r.output;
    const std::string beside = (fs::path(program_) / "Log_20261209_101500.zip").string();
    std::string zip;
    ASSERT_TRUE(read_file_bytes(beside, zip));
    EXPECT_EQ(zip, datx_decode(datx));
    EXPECT_EQ(zip_contents(beside).size(), 3u);

    // To a name of the caller's.
    const std::string chosen = (fs::path(root_) / "chosen.zip").string();
    r = test::run_process({TAMBLOR_DATX_BINARY, {archive.path, chosen}, {}, {}});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(zip_contents(chosen).at("bench.scpt"), "Print( Output:\"x\" );\r\n");

    // A missing input and a wrong call are refused.
    r = test::run_process({TAMBLOR_DATX_BINARY, {(fs::path(root_) / "none.datx").string()}, {}, {}});
    EXPECT_EQ(r.exit_code, 2) << r.output;
    r = test::run_process({TAMBLOR_DATX_BINARY, {}, {}, {}});
    EXPECT_EQ(r.exit_code, 1) << r.output;
}

TEST_F(DebugArchiveTest, AMissingLogFolderOrProgramFolderWritesNothing) {
    DebugArchive archive = write_debug_archive((fs::path(root_) / "nothing").string(), script_, program_);
    EXPECT_FALSE(archive.written);
    EXPECT_FALSE(archive.error.empty());
    archive = write_debug_archive(log_, script_, (fs::path(root_) / "no-such-program-folder").string());
    EXPECT_FALSE(archive.written);
    EXPECT_FALSE(archive.error.empty());
    EXPECT_FALSE(fs::exists(log_ + ".zip"));
}

TEST(DebugArchiveChoice, OnlyDebugLevelOneInAWindowRunMakesOne) {
    struct Case {
        uint8_t level;
        int style;
        bool wanted;
    };
    for (const Case& c : {Case{1, kStyleWindow, true}, Case{1, 20, true}, Case{0, kStyleWindow, false},
                          Case{2, kStyleWindow, false}, Case{1, kStyleConsole, false},
                          Case{1, kStyleRemoteConsole, false}}) {
        app().debug_level = c.level;
        app().run_style = c.style;
        EXPECT_EQ(debug_archive_wanted(), c.wanted) << int(c.level) << " " << c.style;
    }
    reset_app_context();
}

}  // namespace
}  // namespace tb
