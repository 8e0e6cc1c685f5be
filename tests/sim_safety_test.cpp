// The simulated machine's files on every system: it touches no file it
// cannot prove to be its own. Links it refuses, a file with other names it
// refuses, a file it did not make it never resizes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "sim_safety_helpers.h"
#include "sim_test_helpers.h"

namespace tb::sim::test {
namespace {

// Makes a symbolic link, or skips the test where this system or user may
// not make one.
#define MAKE_LINK_OR_SKIP(make, target, link)                                               \
    do {                                                                                     \
        std::error_code link_error;                                                          \
        make(target, link, link_error);                                                      \
        if (link_error) GTEST_SKIP() << "no symbolic links here: " << link_error.message(); \
    } while (0)

TEST(SimFolderSafety, NewFolderImagesAndVolumeFoldersAreMade) {
    Scratch s;
    std::string error;
    auto p = build(s / "sim", std::string(kOneDisk) + "volumes = E\n", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_TRUE(fs::is_directory(s / "sim"));
    EXPECT_EQ(fs::file_size(s / "sim" / "disk1.img"), 64ull << 20);
    EXPECT_TRUE(fs::is_directory(s / "sim" / "volume_E"));
}

TEST(SimFolderSafety, FolderThatIsASymlinkIsRefused) {
    Scratch s;
    fs::create_directory(s / "elsewhere");
    MAKE_LINK_OR_SKIP(fs::create_directory_symlink, s / "elsewhere", s / "sim");
    std::string error;
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(s / "elsewhere"));
}

TEST(SimFolderSafety, ImageThatIsASymlinkIsRefusedAndItsTargetKept) {
    Scratch s;
    std::string error;
    ASSERT_TRUE(build(s / "sim", kOneDisk, &error)) << error;
    fs::remove(s / "sim" / "disk1.img");
    write_all(s / "victim", kPrecious);
    MAKE_LINK_OR_SKIP(fs::create_symlink, s / "victim", s / "sim" / "disk1.img");
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("disk1.img"), std::string::npos) << error;
    EXPECT_TRUE(kept(s / "victim"));
}

TEST(SimFolderSafety, VolumeFolderThatIsASymlinkIsRefused) {
    Scratch s;
    std::string error;
    ASSERT_TRUE(build(s / "sim", kOneDisk, &error)) << error;
    fs::create_directory(s / "elsewhere");
    MAKE_LINK_OR_SKIP(fs::create_directory_symlink, s / "elsewhere", s / "sim" / "volume_E");
    EXPECT_FALSE(build(s / "sim", std::string(kOneDisk) + "volumes = E\n", &error));
    EXPECT_NE(error.find("volume_E"), std::string::npos) << error;
}

TEST(SimFolderSafety, ImageWithAnotherHardLinkIsRefused) {
    Scratch s;
    std::string error;
    ASSERT_TRUE(build(s / "sim", kOneDisk, &error)) << error;
    fs::remove(s / "sim" / "disk1.img");
    write_all(s / "victim", kPrecious);
    fs::create_hard_link(s / "victim", s / "sim" / "disk1.img");
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("link"), std::string::npos) << error;
    EXPECT_TRUE(kept(s / "victim"));
}

TEST(SimFolderSafety, OwnImageOfAnotherSizeIsResized) {
    Scratch s;
    std::string error;
    ASSERT_TRUE(build(s / "sim", kOneDisk, &error)) << error;
    auto p = build(s / "sim", "[disk1]\ntype = nvme\ncapacity = 128MiB\n", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(fs::file_size(s / "sim" / "disk1.img"), 128ull << 20);
}

TEST(SimFolderSafety, FileOverrideIsNeverResized) {
    Scratch s;
    write_all(s / "mine.img", kPrecious);
    std::string error;
    // An existing file of another size than the disk's: refused, untouched.
    EXPECT_FALSE(build(s / "sim", std::string(kOneDisk) + "file = " + utf8_path(s / "mine.img") + "\n", &error));
    EXPECT_NE(error.find("mine.img"), std::string::npos) << error;
    EXPECT_NE(error.find("size"), std::string::npos) << error;
    EXPECT_TRUE(kept(s / "mine.img"));
    // A file that is not there yet is made at the disk's size, and used again.
    const std::string fresh = std::string(kOneDisk) + "file = " + utf8_path(s / "fresh.img") + "\n";
    ASSERT_TRUE(build(s / "sim", fresh, &error)) << error;
    EXPECT_EQ(fs::file_size(s / "fresh.img"), 64ull << 20);
    EXPECT_TRUE(build(s / "sim", fresh, &error)) << error;
}

TEST(SimFolderSafety, FileOverrideThatIsASymlinkIsNotFollowed) {
    Scratch s;
    write_all(s / "mine.img", kPrecious);
    MAKE_LINK_OR_SKIP(fs::create_symlink, s / "mine.img", s / "link.img");
    std::string error;
    EXPECT_FALSE(build(s / "sim", std::string(kOneDisk) + "file = " + utf8_path(s / "link.img") + "\n", &error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(kept(s / "mine.img"));
}

}  // namespace
}  // namespace tb::sim::test
