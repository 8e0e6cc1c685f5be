#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/confined_folder.h"
#include "platform/host/local_time.h"
#include "platform/host/page_memory.h"
#include "platform/host/private_folder.h"
#include "platform/host/processor_count.h"
#include "platform/host/random_bytes.h"
#include "platform/host/replace_file.h"
#include "platform/host/sync_file.h"
#include "platform/host/temp_folder.h"
#include "platform/host/user_identity.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder under the temporary folder, removed with its files.
class ScratchFolder {
public:
    ScratchFolder() {
        std::uint64_t tag = 0;
        tb::host::random_bytes(&tag, sizeof tag);
        path_ = tb::host::temp_folder() / ("tamblor-host-" + std::to_string(tag));
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void write_bytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string read_bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<fs::path> folder_entries(const fs::path& folder) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename());
    return out;
}

// Sets the time zone for the test's lifetime and puts the previous one back.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        set(zone);
    }
    ~TimeZone() {
        if (saved_) set(saved_->c_str());
        else set(nullptr);
    }

private:
    static void set(const char* zone) {
#ifdef _WIN32
        ::_putenv_s("TZ", zone != nullptr ? zone : "");
        ::_tzset();
#else
        if (zone != nullptr) ::setenv("TZ", zone, 1);
        else ::unsetenv("TZ");
        ::tzset();
#endif
    }
    std::optional<std::string> saved_;
};

}  // namespace

TEST(HostHelpers, ReplaceFileReplacesAnExistingFileAndLeavesNoTemporary) {
    ScratchFolder box;
    fs::path from = box.path() / "report.tmp";
    fs::path to = box.path() / "report.txt";
    write_bytes(from, "new contents\r\n");
    write_bytes(to, "old");
    std::string error;
    ASSERT_TRUE(tb::host::replace_file(from, to, &error)) << error;
    EXPECT_EQ(read_bytes(to), "new contents\r\n");
    EXPECT_EQ(folder_entries(box.path()), std::vector<fs::path>{"report.txt"});
}

TEST(HostHelpers, ReplaceFileReportsAMissingSource) {
    ScratchFolder box;
    fs::path to = box.path() / "kept.txt";
    write_bytes(to, "kept");
    std::string error;
    EXPECT_FALSE(tb::host::replace_file(box.path() / "absent.tmp", to, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(read_bytes(to), "kept");
}

TEST(HostHelpers, RandomBytesFillTheWholeBufferAndDifferBetweenDraws) {
    std::vector<std::uint8_t> first(4096, 0), second(4096, 0);
    tb::host::random_bytes(first.data(), first.size());
    tb::host::random_bytes(second.data(), second.size());
    EXPECT_TRUE(std::any_of(first.begin(), first.end(), [](std::uint8_t b) { return b != 0; }));
    EXPECT_NE(first, second);
    // The last bytes are filled as well as the first.
    EXPECT_TRUE(std::any_of(first.end() - 64, first.end(), [](std::uint8_t b) { return b != 0; }));
}

TEST(HostHelpers, LocalTimeUnderUtcMatchesAKnownTimestamp) {
    TimeZone utc("UTC0");
    // 2021-03-04 05:06:07 UTC, a Thursday, day 62 of the year.
    std::tm tm = tb::host::local_time(static_cast<std::time_t>(1614834367));
    EXPECT_EQ(tm.tm_year, 121);
    EXPECT_EQ(tm.tm_mon, 2);
    EXPECT_EQ(tm.tm_mday, 4);
    EXPECT_EQ(tm.tm_hour, 5);
    EXPECT_EQ(tm.tm_min, 6);
    EXPECT_EQ(tm.tm_sec, 7);
    EXPECT_EQ(tm.tm_wday, 4);
    EXPECT_EQ(tm.tm_yday, 62);
}

TEST(HostHelpers, PageMemoryIsPageAlignedZeroFilledAndMovable) {
    const std::size_t page = tb::host::PageMemory::page_size();
    ASSERT_GE(page, 4096u);
    EXPECT_EQ(page & (page - 1), 0u);

    tb::host::PageMemory memory(3 * page + 100);
    ASSERT_NE(memory.data(), nullptr);
    EXPECT_EQ(memory.size(), 3 * page + 100);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory.data()) % page, 0u);
    const auto* bytes = static_cast<const std::uint8_t*>(memory.data());
    EXPECT_TRUE(std::all_of(bytes, bytes + memory.size(), [](std::uint8_t b) { return b == 0; }));

    void* held = memory.data();
    tb::host::PageMemory moved(std::move(memory));
    EXPECT_EQ(moved.data(), held);
    EXPECT_EQ(memory.data(), nullptr);
    EXPECT_EQ(memory.size(), 0u);

    tb::host::PageMemory other(page);
    other = std::move(moved);
    EXPECT_EQ(other.data(), held);
    EXPECT_EQ(other.size(), 3 * page + 100);

    tb::host::PageMemory empty(0);
    EXPECT_EQ(empty.data(), nullptr);
}

TEST(HostHelpers, UserTagIsStableAndFitsInAFolderName) {
    std::string tag = tb::host::user_tag();
    ASSERT_FALSE(tag.empty());
    EXPECT_EQ(tb::host::user_tag(), tag);
    EXPECT_EQ(tag.find_first_of("/\\:*?\"<>| "), std::string::npos) << tag;
}

TEST(HostHelpers, ProcessorCountAndTempFolderAreUsable) {
    EXPECT_GE(tb::host::processor_count(), 1u);
    fs::path temp = tb::host::temp_folder();
    EXPECT_TRUE(fs::is_directory(temp)) << temp.string();
}

TEST(HostHelpers, SyncWritesThroughOpenStreamsAndNamedFiles) {
    ScratchFolder box;
    fs::path p = box.path() / "synced.bin";
    std::FILE* f = std::fopen(p.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("buffered", f);
    EXPECT_TRUE(tb::host::sync_file(f));
    std::fclose(f);
    EXPECT_EQ(read_bytes(p), "buffered");
    EXPECT_TRUE(tb::host::sync_path(p));
    EXPECT_TRUE(tb::host::sync_path(box.path()));
    EXPECT_FALSE(tb::host::sync_path(box.path() / "absent.bin"));
    EXPECT_FALSE(tb::host::sync_file(nullptr));
}

TEST(HostHelpers, PrivateFoldersAreNewAndOwned) {
    ScratchFolder box;
    const fs::path made = box.path() / "private";
    ASSERT_TRUE(tb::host::create_private_folder(made));
    EXPECT_TRUE(fs::is_directory(made));
    EXPECT_TRUE(tb::host::is_own_folder(made));
    // A name already taken is never reused.
    EXPECT_FALSE(tb::host::create_private_folder(made));
    write_bytes(box.path() / "plain.txt", "x");
    EXPECT_FALSE(tb::host::create_private_folder(box.path() / "plain.txt"));
    EXPECT_FALSE(tb::host::is_own_folder(box.path() / "plain.txt"));
    EXPECT_FALSE(tb::host::is_own_folder(box.path() / "absent"));
    // The folder is usable by its owner.
    write_bytes(made / "inside.txt", "mine");
    EXPECT_EQ(read_bytes(made / "inside.txt"), "mine");
}

TEST(HostHelpers, ConfinedFilesAreWrittenBelowTheRootAndDroppedUnlessFinished) {
    ScratchFolder box;
    tb::host::ConfinedFolder root(box.path());
    ASSERT_TRUE(root.is_open());
    ASSERT_TRUE(root.make_folders({"a", "b"}));
    EXPECT_TRUE(fs::is_directory(box.path() / "a" / "b"));

    auto kept = root.create_file({"a", "b"}, "kept.bin");
    ASSERT_TRUE(kept);
    ASSERT_TRUE(kept->write("abc", 3));
    ASSERT_TRUE(kept->write("def", 3));
    // 2001-09-09 01:46:40 UTC
    EXPECT_TRUE(kept->finish(0644, 1000000000));
    kept.reset();
    EXPECT_EQ(read_bytes(box.path() / "a" / "b" / "kept.bin"), "abcdef");
    const auto written = fs::last_write_time(box.path() / "a" / "b" / "kept.bin");
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(written).time_since_epoch());
    EXPECT_EQ(seconds.count(), 1000000000);

    auto dropped = root.create_file({"c"}, "dropped.bin");
    ASSERT_TRUE(dropped);
    dropped->write("partial", 7);
    dropped.reset();
    EXPECT_FALSE(fs::exists(box.path() / "c" / "dropped.bin"));
    EXPECT_TRUE(fs::is_directory(box.path() / "c"));

    // A file where a folder of the chain should be stops the walk.
    write_bytes(box.path() / "f", "file");
    EXPECT_FALSE(root.make_folders({"f", "g"}));
    EXPECT_FALSE(root.create_file({"f"}, "x.bin"));
    EXPECT_FALSE(tb::host::ConfinedFolder(box.path() / "absent").is_open());
}

TEST(HostHelpers, ConfinedFolderNeverWalksThroughALink) {
    ScratchFolder box, outside;
    fs::create_directory(box.path() / "root");
    std::error_code ec;
    fs::create_directory_symlink(outside.path(), box.path() / "root" / "out", ec);
    if (ec) GTEST_SKIP() << "links cannot be made here: " << ec.message();
    fs::create_symlink(outside.path() / "target.txt", box.path() / "root" / "leaf.txt", ec);
    write_bytes(outside.path() / "target.txt", "outside");

    tb::host::ConfinedFolder root(box.path() / "root");
    ASSERT_TRUE(root.is_open());
    EXPECT_FALSE(root.make_folders({"out", "deeper"}));
    EXPECT_FALSE(root.create_file({"out"}, "escaped.bin"));
    EXPECT_FALSE(root.create_file({}, "leaf.txt"));
    EXPECT_FALSE(fs::exists(outside.path() / "deeper"));
    EXPECT_FALSE(fs::exists(outside.path() / "escaped.bin"));
    EXPECT_EQ(read_bytes(outside.path() / "target.txt"), "outside");
}
