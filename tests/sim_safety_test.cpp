// The simulated machine's files: its folder must be private to the user who
// runs it, and it touches no file it cannot prove to be its own. The
// multi-user cases let an unprivileged user prepare traps in a shared
// temporary folder and then run the real binary as root.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/sim/sim_platform.h"
#include "tests/shell_run.h"

namespace tb::sim {
namespace {

namespace fs = std::filesystem;

const char kPrecious[] = "precious data of root\n";

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Whether a file still holds exactly the precious text (its size is looked at
// first, so a file grown to gigabytes is not read).
bool kept(const fs::path& p) {
    std::error_code ec;
    return fs::file_size(p, ec) == sizeof(kPrecious) - 1 && !ec && read_all(p) == kPrecious;
}

void write_all(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

// A scratch folder under /tmp (so that any user can reach it), removed at the end.
class Scratch {
  public:
    Scratch() {
        char tmpl[] = "/tmp/tamblor-simsafe-XXXXXX";
        dir_ = ::mkdtemp(tmpl);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& dir() const { return dir_; }
    fs::path operator/(const std::string& name) const { return dir_ / name; }

  private:
    fs::path dir_;
};

std::optional<SimConfig> machine_in(const fs::path& folder, const std::string& disks, std::string* error) {
    return parse_sim_config("[machine]\nfolder = " + folder.string() + "\npersist = 0\n" + disks, error);
}

std::unique_ptr<SimPlatform> build(const fs::path& folder, const std::string& disks, std::string* error) {
    auto cfg = machine_in(folder, disks, error);
    if (!cfg) return nullptr;
    return make_sim_platform_from_config(*cfg, error);
}

const char kOneDisk[] = "[disk1]\ntype = nvme\ncapacity = 64MiB\n";

// ---- in-process: the checks on the folder and on the files ---------------

TEST(SimFolderSafety, NewFolderAndImagesArePrivate) {
    Scratch s;
    std::string error;
    auto p = build(s / "sim", std::string(kOneDisk) + "volumes = E\n", &error);
    ASSERT_TRUE(p) << error;
    struct stat st{};
    ASSERT_EQ(::lstat((s / "sim").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::lstat((s / "sim" / "disk1.img").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);
    ASSERT_EQ(::lstat((s / "sim" / "volume_E").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(SimFolderSafety, FolderOthersCanEnterOrWriteIsRefused) {
    for (mode_t mode : {0755, 0770, 0777, 01777}) {
        Scratch s;
        ASSERT_EQ(::mkdir((s / "sim").c_str(), 0700), 0);
        ASSERT_EQ(::chmod((s / "sim").c_str(), mode), 0);
        std::string error;
        EXPECT_FALSE(build(s / "sim", kOneDisk, &error)) << std::oct << mode;
        EXPECT_NE(error.find((s / "sim").string()), std::string::npos) << error;
        EXPECT_NE(error.find("0700"), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(s / "sim" / "disk1.img"));
    }
}

TEST(SimFolderSafety, FolderThatIsASymlinkIsRefused) {
    Scratch s;
    ASSERT_EQ(::mkdir((s / "elsewhere").c_str(), 0700), 0);
    fs::create_directory_symlink(s / "elsewhere", s / "sim");
    std::string error;
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(s / "elsewhere"));
}

TEST(SimFolderSafety, ImageThatIsASymlinkIsRefusedAndItsTargetKept) {
    Scratch s;
    ASSERT_EQ(::mkdir((s / "sim").c_str(), 0700), 0);
    write_all(s / "victim", kPrecious);
    fs::create_symlink(s / "victim", s / "sim" / "disk1.img");
    std::string error;
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("disk1.img"), std::string::npos) << error;
    EXPECT_TRUE(kept(s / "victim"));
}

TEST(SimFolderSafety, ImageWithAnotherHardLinkIsRefused) {
    Scratch s;
    ASSERT_EQ(::mkdir((s / "sim").c_str(), 0700), 0);
    write_all(s / "victim", kPrecious);
    fs::create_hard_link(s / "victim", s / "sim" / "disk1.img");
    std::string error;
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("link"), std::string::npos) << error;
    EXPECT_TRUE(kept(s / "victim"));
}

TEST(SimFolderSafety, ImageThatIsNoRegularFileIsRefused) {
    Scratch s;
    ASSERT_EQ(::mkdir((s / "sim").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((s / "sim" / "disk1.img").c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("regular file"), std::string::npos) << error;
}

TEST(SimFolderSafety, VolumeFolderThatIsASymlinkIsRefused) {
    Scratch s;
    ASSERT_EQ(::mkdir((s / "sim").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((s / "elsewhere").c_str(), 0700), 0);
    fs::create_directory_symlink(s / "elsewhere", s / "sim" / "volume_E");
    std::string error;
    EXPECT_FALSE(build(s / "sim", std::string(kOneDisk) + "volumes = E\n", &error));
    EXPECT_NE(error.find("volume_E"), std::string::npos) << error;
}

TEST(SimFolderSafety, OwnImageOfAnotherSizeIsResized) {
    Scratch s;
    std::string error;
    ASSERT_TRUE(build(s / "sim", kOneDisk, &error)) << error;
    auto p = build(s / "sim", "[disk1]\ntype = nvme\ncapacity = 128MiB\n", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(fs::file_size(s / "sim" / "disk1.img"), 128ull << 20);
}

TEST(SimFolderSafety, FileOverrideIsNeverResizedNorFollowed) {
    Scratch s;
    write_all(s / "mine.img", kPrecious);
    std::string error;
    // An existing file of another size than the disk's: refused, untouched.
    EXPECT_FALSE(build(s / "sim", std::string(kOneDisk) + "file = " + (s / "mine.img").string() + "\n", &error));
    EXPECT_NE(error.find("mine.img"), std::string::npos) << error;
    EXPECT_NE(error.find("size"), std::string::npos) << error;
    EXPECT_TRUE(kept(s / "mine.img"));
    // A symbolic link: refused, its target untouched.
    fs::create_symlink(s / "mine.img", s / "link.img");
    EXPECT_FALSE(build(s / "sim", std::string(kOneDisk) + "file = " + (s / "link.img").string() + "\n", &error));
    EXPECT_TRUE(kept(s / "mine.img"));
    // A file that is not there yet is made at the disk's size, and used again.
    const std::string fresh = std::string(kOneDisk) + "file = " + (s / "fresh.img").string() + "\n";
    ASSERT_TRUE(build(s / "sim", fresh, &error)) << error;
    EXPECT_EQ(fs::file_size(s / "fresh.img"), 64ull << 20);
    EXPECT_TRUE(build(s / "sim", fresh, &error)) << error;
}

TEST(SimFolderSafety, FilesOfAnotherUserAreRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
    Scratch s;
    ASSERT_EQ(::mkdir((s / "sim").c_str(), 0700), 0);
    write_all(s / "sim" / "disk1.img", std::string(64 << 20, '\0'));
    ASSERT_EQ(::chown((s / "sim" / "disk1.img").c_str(), 65534, 65534), 0);
    std::string error;
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("owned"), std::string::npos) << error;
    ASSERT_EQ(::chown((s / "sim").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("owned"), std::string::npos) << error;
}

// ---- the real binary, run by root after another user laid a trap ----------

class SimFolderTrapE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "runs as root with an unprivileged helper";
        if (tb::test::run_shell("setpriv --reuid=nobody --regid=nogroup --clear-groups true").exit_code != 0)
            GTEST_SKIP() << "setpriv or the user nobody is missing";
        // A shared temporary folder, as /tmp is.
        ASSERT_EQ(::chmod(scratch_.dir().c_str(), 01777), 0);
        write_all(scratch_ / "victim", kPrecious);
        ASSERT_EQ(::chmod((scratch_ / "victim").c_str(), 0644), 0);
        write_all(scratch_ / "t.scpt", "Print(Output:\"only printing\");\r\n");
    }

    // Runs a shell command line as the user nobody.
    void as_nobody(const std::string& command) {
        auto r = tb::test::run_shell("setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c '" + command + "'");
        ASSERT_EQ(r.exit_code, 0) << r.output;
    }

    tb::test::ShellResult run_root_sim() {
        const std::string dir = scratch_.dir().string();
        return tb::test::run_shell("cd '" + dir + "' && TMPDIR='" + dir + "' TAMBLOR_SIM_CONFIG= '" TAMBLOR_BINARY
                                   "' --sim SCRIPT:t.scpt");
    }

    void expect_refused_and_victim_kept(const tb::test::ShellResult& r) {
        EXPECT_NE(r.exit_code, 0) << r.output;
        EXPECT_NE(r.output.find(sim_folder().string()), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("only printing"), std::string::npos) << r.output;
        EXPECT_TRUE(kept(scratch_ / "victim"));
    }

    fs::path sim_folder() const { return scratch_ / ("tamblor-sim-" + std::to_string(::getuid())); }

    Scratch scratch_;
};

TEST_F(SimFolderTrapE2E, ImageSymlinkInAFolderOfAnotherUser) {
    as_nobody("mkdir -m 0700 " + sim_folder().string() + " && ln -s " + (scratch_ / "victim").string() + " " +
              (sim_folder() / "disk1.img").string());
    auto r = run_root_sim();
    expect_refused_and_victim_kept(r);
    EXPECT_NE(r.output.find("owned"), std::string::npos) << r.output;
}

TEST_F(SimFolderTrapE2E, FolderSymlinkToAFolderOfRoot) {
    ASSERT_EQ(::mkdir((scratch_ / "rootdir").c_str(), 0700), 0);
    as_nobody("ln -s " + (scratch_ / "rootdir").string() + " " + sim_folder().string());
    auto r = run_root_sim();
    expect_refused_and_victim_kept(r);
    EXPECT_TRUE(fs::is_empty(scratch_ / "rootdir"));
}

}  // namespace
}  // namespace tb::sim
