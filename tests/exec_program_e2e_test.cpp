// End to end on every system: Exec starts a real program (the player itself
// running a small script) in the working folder it names, without a shell,
// hands back the program's exit code, keeps what it printed in the log
// folder, and fails with -11 for a program that cannot be started.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e_support.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMachine = "[machine]\npersist = 0\n[disk0]\ntype = nvme\ncapacity = 64MiB\n";

class ExecProgramE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-exec-e2e", kMachine};
    const fs::path dir_ = machine_.dir();
};

TEST_F(ExecProgramE2E, TheProgramRunsInItsFolderAndItsExitCodeAndOutputAreKept) {
    fs::create_directories(dir_ / "inner");
    std::ofstream(dir_ / "inner" / "inner.scpt", std::ios::binary)
        << "Print( Output:\"INNER-RAN\" );\nExit( ErrCode:7, ErrDesc:\"\" );\n";
    std::ofstream(dir_ / "inner" / "machine.ini", std::ios::binary) << kMachine;
    const std::string binary = TAMBLOR_BINARY;
    tb::test::ProcessResult r = tb::test::run_sim_script(
        dir_, "e = Exec( AssignFolder:\"" + (dir_ / "inner").string() + "\", CmdLine:\"" + binary +
                  " --sim=machine.ini SCRIPT:inner.scpt\", ResultFile:\"\", WaitClose:TRUE );\n"
                  "Print( Output:\"EXEC=\" + e );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["EXEC"], 7) << r.output;
    EXPECT_EQ(r.output.find("INNER-RAN"), std::string::npos) << r.output;  // not on our console
    const auto outs = tb::test::files_ending(tb::test::log_folder_of(r.output), ".out");
    ASSERT_EQ(outs.size(), 1u) << r.output;
    EXPECT_NE(tb::test::read_file(outs[0]).find("INNER-RAN"), std::string::npos);
}

TEST_F(ExecProgramE2E, AProgramThatCannotStartFailsWith11) {
    tb::test::ProcessResult r = tb::test::run_sim_script(
        dir_, "Exec( CmdLine:\"no-such-program-xyz\", ResultFile:\"\", WaitClose:TRUE );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-11)) << r.output;
    EXPECT_NE(r.output.find("no-such-program-xyz"), std::string::npos) << r.output;
}

}  // namespace
