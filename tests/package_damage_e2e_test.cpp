// End-to-end: a packaged player whose package is damaged, cut short or
// hostile refuses to start. It says what is wrong on standard error, exits
// with an error code and leaves no work folder behind.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/package_builder.h"
#include "app/zip_archive.h"
#include "script/script_text.h"
#include "tests/e2e_support.h"
#include "tests/zip_craft.h"

namespace fs = std::filesystem;
using namespace tb::test;

namespace {

// Exit statuses of the error codes a broken package ends with.
const int kStatusInvalidData = script_exit(-90);  // Invalid Data or Signature Incorrect
const int kStatusFileMissing = script_exit(-11);  // File Open Fail or File Does Not Exist

const char* kScript = "Print( LeftAlign:FALSE, Output:\"SCRIPT-RAN\" );\r\n";
const char* kInfo = "[SCRIPTINFO]\r\nTITLE=Damage Check\r\nStyle=30\r\n";

std::string encoded(std::string plain) {
    tb::encode_script_buffer(plain);
    return plain;
}

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_bytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Entry 0 script.encode (stored), entry 1 ScriptInfo.ini (stored), then `extra`.
tb::ZipWriter sound_package() {
    tb::ZipWriter w;
    w.add("script.encode", encoded(kScript), tb::kZipStored);
    w.add("ScriptInfo.ini", kInfo, tb::kZipStored);
    return w;
}

class DamagedPackage : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root_ / "tmp");
    }
    // The player carrying `archive`.
    fs::path player(const std::string& archive, const std::string& name = "player") {
        fs::path out = root_ / program_file_name(name);
        std::string error;
        EXPECT_TRUE(tb::write_packaged_executable(TAMBLOR_BINARY, archive, out.string(), error)) << error;
        return out;
    }
    ProcessResult start(const fs::path& player) {
        ProcessSpec spec;
        spec.program = player;
        spec.args = {"--sim"};
        spec.environment = temp_environment(root_ / "tmp");
        spec.working_folder = root_;
        return run_process(spec);
    }
    size_t leftover_work_folders() {
        fs::path base = root_ / "tmp" / "TamblorLite";
        if (!fs::exists(base)) return 0;
        return static_cast<size_t>(std::distance(fs::directory_iterator(base), fs::directory_iterator()));
    }
    // Runs the player and expects a refusal naming `what`.
    void expect_refused(const fs::path& p, const std::string& what, int status) {
        ProcessResult r = start(p);
        EXPECT_EQ(r.exit_code, status) << r.output;
        EXPECT_NE(r.output.find("damaged package: " + what), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("SCRIPT-RAN"), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("usage:"), std::string::npos) << r.output;
        EXPECT_EQ(leftover_work_folders(), 0u);
    }
    TempFolder folder_{"tamblor-dmg"};
    const fs::path& root_ = folder_.dir();
};

TEST_F(DamagedPackage, SoundPackageRuns) {
    ProcessResult r = start(player(sound_package().finish()));
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("SCRIPT-RAN"), std::string::npos) << r.output;
}

TEST_F(DamagedPackage, FlippedByteInTheScriptIsACrcMismatch) {
    std::string zip = sound_package().finish();
    zip[zip_entry_data(zip, 0) + 5] ^= 0x01;
    expect_refused(player(zip), "entry script.encode: CRC mismatch", kStatusInvalidData);
}

TEST_F(DamagedPackage, BadCrcOfACompanionFileStopsTheStart) {
    tb::ZipWriter w = sound_package();
    w.add("fw/image.bin", std::string(5000, 'x'), tb::kZipDeflated);
    std::string zip = w.finish();
    // The same wrong CRC in both headers, so only the data can tell.
    uint32_t wrong = zip_get32(zip, zip_directory_record(zip, 2) + 16) ^ 0x100;
    zip_patch32(zip, zip_directory_record(zip, 2) + 16, wrong);
    zip_patch32(zip, zip_local_header(zip, 2) + 14, wrong);
    expect_refused(player(zip), "entry fw/image.bin: CRC mismatch", kStatusInvalidData);
}

TEST_F(DamagedPackage, BrokenCentralDirectory) {
    std::string zip = sound_package().finish();
    zip[zip_directory_record(zip, 1)] = 'X';  // second record's signature
    expect_refused(player(zip), "the central directory holds 1 of 2 entries", kStatusInvalidData);

    std::string no_end = sound_package().finish();
    no_end[zip_end_record(no_end) + 1] = 'X';
    expect_refused(player(no_end, "player2"), "no end-of-central-directory record", kStatusInvalidData);
}

TEST_F(DamagedPackage, LocalNameDisagreeingWithTheDirectory) {
    std::string zip = sound_package().finish();
    zip[zip_local_header(zip, 1) + 30] = 'X';  // "XcriptInfo.ini" in the local header only
    expect_refused(player(zip), "entry ScriptInfo.ini: local header disagrees", kStatusInvalidData);
}

TEST_F(DamagedPackage, MissingScriptOrSettings) {
    tb::ZipWriter no_info;
    no_info.add("script.encode", encoded(kScript), tb::kZipStored);
    expect_refused(player(no_info.finish()), "no ScriptInfo.ini", kStatusFileMissing);

    tb::ZipWriter no_script;
    no_script.add("ScriptInfo.ini", kInfo, tb::kZipStored);
    expect_refused(player(no_script.finish(), "player2"), "no script.encode", kStatusFileMissing);
}

TEST_F(DamagedPackage, TruncatedPlayerIsDamagedNotUnpackaged) {
    tb::ZipWriter w = sound_package();
    w.add("fw/image.bin", std::string(5000, 'y'), tb::kZipStored);
    fs::path p = player(w.finish());
    std::string bytes = read_bytes(p);
    for (size_t cut : {size_t{1}, size_t{17}, size_t{3000}}) {
        fs::path cut_player = root_ / program_file_name("cut" + std::to_string(cut));
        write_bytes(cut_player, bytes.substr(0, bytes.size() - cut));
        fs::permissions(cut_player, fs::perms::owner_all);
        expect_refused(cut_player, "", kStatusInvalidData);
    }
    // A trailer whose length runs before the program's end.
    std::string liar = bytes;
    zip_patch32(liar, liar.size() - 16, static_cast<uint32_t>(bytes.size()));
    const fs::path liar_player = root_ / program_file_name("liar");
    write_bytes(liar_player, liar);
    fs::permissions(liar_player, fs::perms::owner_all);
    expect_refused(liar_player, "", kStatusInvalidData);
}

TEST_F(DamagedPackage, PlainPlayerStillShowsItsUsage) {
    ProcessResult r = start(TAMBLOR_BINARY);
    EXPECT_NE(r.output.find("usage:"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("damaged package"), std::string::npos) << r.output;
}

// ---------------------------------------------------------------- bombs

// An entry of `size` zero bytes, deflated.
void add_zeros(tb::ZipWriter& w, const std::string& name, size_t size) {
    ASSERT_TRUE(w.add(name, std::string(size, '\0'), tb::kZipDeflated));
}

TEST_F(DamagedPackage, EntryInflatingPastItsDeclaredSizeIsRefused) {
    tb::ZipWriter w = sound_package();
    add_zeros(w, "bomb.bin", 64u << 20);
    std::string zip = w.finish();
    zip_declare_size(zip, 2, 1000);
    auto t0 = std::chrono::steady_clock::now();
    expect_refused(player(zip), "entry bomb.bin: inflates past its declared size", kStatusInvalidData);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
}

TEST_F(DamagedPackage, EntryDeclaredHugeIsRefusedBeforeExtraction) {
    tb::ZipWriter w = sound_package();
    add_zeros(w, "bomb.bin", 1u << 20);
    std::string zip = w.finish();
    zip_declare_size(zip, 2, 0xC0000000u);  // 3 GiB from a few KB
    expect_refused(player(zip), "entry bomb.bin: declares 3221225472 bytes", kStatusInvalidData);
}

TEST_F(DamagedPackage, HonestlyDeclaredBombIsRefusedByItsRatio) {
    tb::ZipWriter w = sound_package();
    add_zeros(w, "bomb.bin", 64u << 20);
    std::string zip = w.finish();
    uint32_t packed = zip_get32(zip, zip_directory_record(zip, 2) + 20);
    ASSERT_GT((64u << 20) / packed, 1000u) << "zeros no longer deflate past 1000:1";
    expect_refused(player(zip), "entry bomb.bin: compression ratio", kStatusInvalidData);
}

}  // namespace
