// The system copy behind File_Copy: whole files copied with their progress,
// a stop asked for by the progress call, a source that is missing or a
// folder, a destination that cannot be made; after anything but a whole
// copy no destination is left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/host/copy_file.h"
#include "tests/e2e_support.h"
#include "tests/temp_dir.h"

namespace tb {
namespace {

namespace fs = std::filesystem;

class FileCommandCopy : public ::testing::Test {
protected:
    void SetUp() override { dir_ = test::make_temp_dir("tamblor-file-copy"); }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path at(const std::string& name) const { return dir_ / name; }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(at(name), std::ios::binary) << bytes;
    }
    static std::string some_bytes(size_t n) {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 31 % 255);
        return s;
    }

    fs::path dir_;
};

TEST_F(FileCommandCopy, AWholeCopyReplacesTheDestinationAndReportsItsProgress) {
    const std::string data = some_bytes(20u << 20);
    write("src.bin", data);
    write("dst.bin", "old");
    uint64_t last = 0, total_seen = 0;
    int calls = 0;
    const host::CopyResult r = host::copy_file(at("src.bin"), at("dst.bin"), [&](uint64_t done, uint64_t total) {
        EXPECT_GE(done, last);
        last = done;
        total_seen = total;
        ++calls;
        return true;
    });
    ASSERT_EQ(r.outcome, host::CopyOutcome::Copied) << r.error;
    EXPECT_EQ(test::read_file(at("dst.bin")), data);
    EXPECT_EQ(last, data.size());
    EXPECT_EQ(total_seen, data.size());
    EXPECT_GE(calls, 2);
}

TEST_F(FileCommandCopy, AnEmptyFileIsCopiedToo) {
    write("empty.bin", "");
    EXPECT_EQ(host::copy_file(at("empty.bin"), at("out.bin"), nullptr).outcome, host::CopyOutcome::Copied);
    EXPECT_TRUE(fs::exists(at("out.bin")));
    EXPECT_EQ(fs::file_size(at("out.bin")), 0u);
}

TEST_F(FileCommandCopy, AStopLeavesNoDestination) {
    write("src.bin", some_bytes(20u << 20));
    const host::CopyResult r =
        host::copy_file(at("src.bin"), at("dst.bin"), [](uint64_t done, uint64_t) { return done == 0; });
    EXPECT_EQ(r.outcome, host::CopyOutcome::Stopped);
    EXPECT_FALSE(fs::exists(at("dst.bin")));
}

TEST_F(FileCommandCopy, AMissingSourceOrAFolderFailsOnTheSourceSide) {
    fs::create_directory(at("folder"));
    for (const char* source : {"none.bin", "folder"}) {
        const host::CopyResult r = host::copy_file(at(source), at("dst.bin"), nullptr);
        EXPECT_EQ(r.outcome, host::CopyOutcome::SourceFailed) << source;
        EXPECT_FALSE(r.error.empty()) << source;
        EXPECT_FALSE(fs::exists(at("dst.bin"))) << source;
    }
}

TEST_F(FileCommandCopy, ADestinationThatCannotBeMadeFailsOnItsSide) {
    write("src.bin", "abc");
    const host::CopyResult r = host::copy_file(at("src.bin"), at("no/such/folder/dst.bin"), nullptr);
    EXPECT_EQ(r.outcome, host::CopyOutcome::DestinationFailed);
    EXPECT_FALSE(r.error.empty());
}

}  // namespace
}  // namespace tb
