// Where relative output names land: beside a program that lives in the
// test's own folder, and in the job's log folder for a program installed in a
// folder the user cannot write. Either way the job log names the full path.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;
using tb::test::log_folder_of;
using tb::test::read_file;

std::string make_dir(const char* stem, mode_t mode) {
    std::string tmpl = std::string("/tmp/") + stem + "-XXXXXX";
    std::string dir = ::mkdtemp(tmpl.data());
    ::chmod(dir.c_str(), mode);
    return dir;
}



constexpr const char* kScript = "Report_Print( File:\"report.csv\", Output:\"line one\", Append:FALSE );\r\n";

class OutputLocation : public ::testing::Test {
protected:
    void SetUp() override {
        // A program folder owned by root that other users can read but not write.
        program_dir_ = make_dir("tamblor-installed", 0755);
        fs::copy_file(TAMBLOR_BINARY, program_dir_ + "/tamblor");
        ::chmod((program_dir_ + "/tamblor").c_str(), 0755);
        work_ = make_dir("tamblor-user", 01777);
        std::ofstream(work_ + "/t.scpt", std::ios::binary) << kScript;
        ::chmod((work_ + "/t.scpt").c_str(), 0644);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(program_dir_, ec);
        fs::remove_all(work_, ec);
    }
    std::string program_dir_, work_;
};

TEST_F(OutputLocation, InstalledProgramWritesIntoTheJobLogFolder) {
    ASSERT_EQ(::geteuid(), 0u) << "needs root to run the program as another user";
    const auto r = tb::test::run_shell("cd '" + work_ + "' && HOME='" + work_ + "' TMPDIR='" + work_ +
                                       "' setpriv --reuid=nobody --regid=nogroup --clear-groups '" + program_dir_ +
                                       "/tamblor' SCRIPT:\"t.scpt\"");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const std::string folder = log_folder_of(r.output);
    ASSERT_FALSE(folder.empty()) << r.output;
    EXPECT_EQ(read_file(folder + "/report.csv"), "line one");
    EXPECT_FALSE(fs::exists(program_dir_ + "/report.csv"));
    EXPECT_NE(r.output.find("Output File : " + folder + "/report.csv"), std::string::npos) << r.output;
}

TEST_F(OutputLocation, ProgramInTheTestsOwnFolderWritesBesideItself) {
    const std::string own = make_dir("tamblor-own", 0755);
    fs::copy_file(TAMBLOR_BINARY, own + "/tamblor");
    const auto r = tb::test::run_shell("cd '" + work_ + "' && TMPDIR='" + work_ + "' '" + own +
                                       "/tamblor' SCRIPT:\"t.scpt\"");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(read_file(own + "/report.csv"), "line one");
    EXPECT_NE(r.output.find("Output File : " + own + "/report.csv"), std::string::npos) << r.output;
    std::error_code ec;
    fs::remove_all(own, ec);
}

}  // namespace
