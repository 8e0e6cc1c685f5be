// The simulated machine's files on Linux: the folder and images are private
// by their mode, a folder others may enter or write is refused, and so are a
// FIFO and files of another user. The multi-user cases let an unprivileged
// user prepare traps in a shared temporary folder and then run the real
// binary as root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "sim_safety_helpers.h"
#include "tests/shell_run.h"

namespace tb::sim::test {
namespace {

// Scratch folders under /tmp, which every user can reach.
const fs::path kSharedTmp = "/tmp";

TEST(SimFolderModes, NewFolderAndImagesArePrivate) {
    Scratch s{kSharedTmp};
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

TEST(SimFolderModes, FolderOthersCanEnterOrWriteIsRefused) {
    for (mode_t mode : {0755, 0770, 0777, 01777}) {
        Scratch s{kSharedTmp};
        ASSERT_EQ(::mkdir((s / "sim").c_str(), 0700), 0);
        ASSERT_EQ(::chmod((s / "sim").c_str(), mode), 0);
        std::string error;
        EXPECT_FALSE(build(s / "sim", kOneDisk, &error)) << std::oct << mode;
        EXPECT_NE(error.find((s / "sim").string()), std::string::npos) << error;
        EXPECT_NE(error.find("0700"), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(s / "sim" / "disk1.img"));
    }
}

TEST(SimFolderModes, ImageThatIsNoRegularFileIsRefused) {
    Scratch s{kSharedTmp};
    ASSERT_EQ(::mkdir((s / "sim").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((s / "sim" / "disk1.img").c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("regular file"), std::string::npos) << error;
}

TEST(SimFolderModes, FilesOfAnotherUserAreRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
    Scratch s{kSharedTmp};
    ASSERT_EQ(::mkdir((s / "sim").c_str(), 0700), 0);
    write_all(s / "sim" / "disk1.img", std::string(64 << 20, '\0'));
    ASSERT_EQ(::chown((s / "sim" / "disk1.img").c_str(), 65534, 65534), 0);
    std::string error;
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("owned by user 65534, not by user 0"), std::string::npos) << error;
    ASSERT_EQ(::chown((s / "sim").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(build(s / "sim", kOneDisk, &error));
    EXPECT_NE(error.find("owned by user 65534, not by user 0"), std::string::npos) << error;
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

    Scratch scratch_{kSharedTmp};
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
}  // namespace tb::sim::test
