// Path texts as scripts give them: either separator, drive roots, and names
// outside ASCII reaching the file system unchanged.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/file_handle.h"
#include "platform/host/random_bytes.h"
#include "platform/host/temp_folder.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

TEST(Paths, FolderOfAPathKeepsADriveRoot) {
    EXPECT_EQ(tb::path_folder("C:\\report.txt"), "C:/");
    EXPECT_EQ(tb::path_folder("C:/logs/report.txt"), "C:/logs");
    EXPECT_EQ(tb::path_folder("logs\\run\\report.txt"), "logs/run");
    EXPECT_EQ(tb::path_folder("/report.txt"), "/");
    EXPECT_EQ(tb::path_folder("report.txt"), "");
}

TEST(Paths, NamesOutsideAsciiReachTheFileSystem) {
    std::uint64_t tag = 0;
    tb::host::random_bytes(&tag, sizeof tag);
    const std::string folder = tb::utf8_path(tb::host::temp_folder()) + "/tamblor-p\xC3\xA4ths-" + std::to_string(tag);
    ASSERT_TRUE(fs::create_directory(tb::fs_path(folder)));
    const std::string file = folder + "\\r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.txt";
    {
        tb::FileHandle f = tb::FileHandle::open(file, "wb");
        ASSERT_TRUE(f);
        std::fputs("bytes", f.get());
    }
    EXPECT_TRUE(tb::file_exists(file));
    EXPECT_TRUE(tb::folder_exists(folder));
    std::string read;
    EXPECT_TRUE(tb::read_file_bytes(file, read));
    EXPECT_EQ(read, "bytes");
    // The name the file system reports is the UTF-8 text the script gave.
    bool found = false;
    for (const auto& entry : fs::directory_iterator(tb::fs_path(folder)))
        found = found || tb::utf8_path(entry.path().filename()) == "r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.txt";
    EXPECT_TRUE(found);
    EXPECT_EQ(tb::path_file_name(tb::absolute_path(file)), "r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.txt");
    std::error_code ec;
    fs::remove_all(tb::fs_path(folder), ec);
}
