// Where relative output names land: beside a program that lives in the
// test's own folder, and in the job's log folder for a program installed in a
// folder the user cannot write. Either way the job log names the full path.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;
using tb::test::log_folder_of;
using tb::test::read_file;

constexpr const char* kScript = "Report_Print( File:\"report.csv\", Output:\"line one\", Append:FALSE );\r\n";

// The program's file name in a folder of its own.
fs::path program_in(const fs::path& folder) { return folder / fs::path(TAMBLOR_BINARY).filename(); }

class OutputLocation : public ::testing::Test {
protected:
    void SetUp() override {
        using fs::perms;
        const perms readable = perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                               perms::others_exec;
        // A program folder owned by the test's user that other users can read but not write.
        fs::permissions(program_dir_.dir(), readable);
        fs::copy_file(TAMBLOR_BINARY, program_in(program_dir_.dir()));
        fs::permissions(program_in(program_dir_.dir()), readable);
        fs::permissions(work_.dir(), perms::all | perms::sticky_bit);
        std::ofstream(work_.dir() / "t.scpt", std::ios::binary) << kScript;
        fs::permissions(work_.dir() / "t.scpt", perms::owner_read | perms::owner_write | perms::group_read |
                                                   perms::others_read);
    }
    tb::test::TempFolder program_dir_{"tamblor-installed"};
    tb::test::TempFolder work_{"tamblor-user"};
};

#ifndef _WIN32
// Another user runs the program, through setpriv.
TEST_F(OutputLocation, InstalledProgramWritesIntoTheJobLogFolder) {
    ASSERT_EQ(::geteuid(), 0u) << "needs root to run the program as another user";
    const std::string work = work_.dir().string();
    const auto r = tb::test::run_shell("cd '" + work + "' && HOME='" + work + "' TMPDIR='" + work +
                                       "' setpriv --reuid=nobody --regid=nogroup --clear-groups '" +
                                       program_in(program_dir_.dir()).string() + "' SCRIPT:\"t.scpt\"");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const fs::path folder = log_folder_of(r.output);
    ASSERT_FALSE(folder.empty()) << r.output;
    EXPECT_EQ(read_file(folder / "report.csv"), "line one");
    EXPECT_FALSE(fs::exists(program_dir_.dir() / "report.csv"));
    EXPECT_NE(r.output.find("Output File : " + (folder / "report.csv").string()), std::string::npos) << r.output;
}
#endif

TEST_F(OutputLocation, ProgramInTheTestsOwnFolderWritesBesideItself) {
    tb::test::TempFolder own("tamblor-own");
    fs::copy_file(TAMBLOR_BINARY, program_in(own.dir()));
    tb::test::ProcessSpec spec;
    spec.program = program_in(own.dir());
    spec.args = {"SCRIPT:t.scpt"};
    spec.environment = tb::test::temp_environment(work_.dir());
    spec.working_folder = work_.dir();
    const auto r = tb::test::run_process(spec);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(read_file(own.dir() / "report.csv"), "line one");
    // The path as the program prints it: '/' between names on every system.
    EXPECT_NE(r.output.find("Output File : " + (own.dir() / "report.csv").generic_string()), std::string::npos)
        << r.output;
}

}  // namespace
