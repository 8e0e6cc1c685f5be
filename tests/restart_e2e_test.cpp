// End-to-end through the real binary on a persistent simulated machine: a
// script restarts the machine with PCReBoot in the middle of a loop, the
// process ends as the machine goes down, and the program started again the
// way the registration says carries the script on after PCReBoot with its
// variables, loop and If blocks; twice in one loop; and an abrupt restart
// (SPOR) that loses the disk's unflushed writes where an orderly one keeps them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <list>
#include <string>

#include "app/command_line.h"
#include "platform/autostart.h"
#include "platform/system_restart.h"
#include "tests/e2e_support.h"
#include "tests/scoped_environment.h"

namespace {

namespace fs = std::filesystem;
using tb::test::ProcessResult;

class RestartE2E : public ::testing::Test {
protected:
    void SetUp() override {
        const auto now = std::chrono::system_clock::now().time_since_epoch().count();
        env_ = tb::test::settings_store_environment(dir());
        env_["TAMBLOR_AUTOSTART_DIR"] = (dir() / "autostart").string();
        env_["TAMBLOR_AUTOSTART_KEY"] = "Software\\tamblor-tests\\" + dir().filename().string() + "_" +
                                        std::to_string(now);
        env_["TAMBLOR_IPC_NAMESPACE"] = "restart-e2e-" + std::to_string(now);
        // This process reads the same store.
        for (const char* name : {"TAMBLOR_AUTOSTART_DIR", "TAMBLOR_AUTOSTART_KEY"})
            scoped_.emplace_back(name, env_[name]);
    }
    void TearDown() override {
        for (const auto& [name, line] : tb::autorun_values()) tb::remove_autorun_value(name);
    }

    const fs::path& dir() const { return machine_.dir(); }

    ProcessResult first_run(const std::string& script) {
        tb::test::write_crlf(dir() / "t.scpt", script);
        return tb::test::run_tamblor(dir(), {"--sim=" + machine_.machine_file().string(), "SCRIPT:t.scpt"}, env_);
    }

    // Starts the program as the one registration there is says; fails the
    // test when there is not exactly one.
    ProcessResult next_start() {
        auto values = tb::autorun_values();
        EXPECT_EQ(values.size(), 1u);
        if (values.size() != 1) return {};
        std::vector<std::string> argv = tb::split_command_line(values[0].second);
        tb::test::ProcessSpec spec;
        spec.program = argv.at(0);
        spec.args.assign(argv.begin() + 1, argv.end());
        spec.environment = tb::test::temp_environment(dir());
        for (const auto& [name, value] : env_) spec.environment[name] = value;
        spec.working_folder = dir();
        return tb::test::run_process(spec);
    }

    std::vector<std::string> state_files() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir()))
            if (e.path().extension() == ".sct") out.push_back(e.path().filename().string());
        return out;
    }

    static bool has(const ProcessResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }

    tb::test::SimMachineFolder machine_{"tamblor-restart-e2e",
                                        "[machine]\npersist = 1\n[disk1]\ntype = nvme\ncapacity = 1GiB\n"};
    std::map<std::string, std::string> env_;
    std::list<tb::test::ScopedVariable> scoped_;
};

const int kOrderlyRestart = tb::sim_restart_exit_code(tb::MachineAction::Restart, false);
const int kAbruptRestart = tb::sim_restart_exit_code(tb::MachineAction::Restart, true);

const char* kLoopScript =
    "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n"
    "i = 0;\n"
    "Total = 100;\n"
    "Name = \"kept\";\n"
    "While( i < 4 ){\n"
    "  i = i + 1;\n"
    "  If( i == 2 ){\n"
    "    Print( Output:\"BEFORE=\" + i );\n"
    "    PCReBoot( PowerAction:1, BootContinue:TRUE );\n"
    "    Print( Output:\"RESUMED=\" + i + \" \" + Name );\n"
    "  }\n"
    "  else {\n"
    "    Print( Output:\"OTHER=\" + i );\n"
    "  }\n"
    "  Total = Total + i;\n"
    "  Print( Output:\"TOTAL\" + i + \"=\" + Total );\n"
    "}\n"
    "Print( Output:\"END=\" + Total );\n";

}  // namespace

TEST_F(RestartE2E, TheScriptGoesOnAfterPcRebootWithItsVariablesLoopAndBlocks) {
    ProcessResult before = first_run(kLoopScript);
    EXPECT_EQ(before.exit_code, kOrderlyRestart) << before.output;
    EXPECT_TRUE(has(before, "BEFORE=2")) << before.output;
    EXPECT_FALSE(has(before, "RESUMED=")) << before.output;
    EXPECT_FALSE(has(before, "TOTAL2=")) << before.output;
    EXPECT_EQ(state_files().size(), 5u);

    ProcessResult after = next_start();
    EXPECT_EQ(after.exit_code, 0) << after.output;
    EXPECT_TRUE(has(after, "RESUMED=2 kept")) << after.output;
    EXPECT_FALSE(has(after, "OTHER=2")) << "the else branch of the If that ran must stay skipped\n" << after.output;
    EXPECT_FALSE(has(after, "OTHER=1")) << "nothing before PCReBoot runs again\n" << after.output;
    auto values = tb::test::printed_values(after.output);
    EXPECT_EQ(values["TOTAL2"], 103);
    EXPECT_EQ(values["OTHER"], 4);
    EXPECT_EQ(values["TOTAL4"], 110);
    EXPECT_EQ(values["END"], 110);
    EXPECT_TRUE(tb::autorun_values().empty()) << "the ended script leaves no registration";
    EXPECT_TRUE(state_files().empty());
}

TEST_F(RestartE2E, TheStartUpEntryStartsTheRegisteredContinuation) {
    ProcessResult before = first_run(kLoopScript);
    ASSERT_EQ(before.exit_code, kOrderlyRestart) << before.output;
    ProcessResult start_up = tb::test::run_tamblor(dir(), {"--run-autostart"}, env_);
    EXPECT_EQ(start_up.exit_code, 0) << start_up.output;
    EXPECT_TRUE(has(start_up, "Tamblor_Reboot1: started")) << start_up.output;
    EXPECT_EQ(tb::test::printed_values(start_up.output)["END"], 110) << start_up.output;
    EXPECT_TRUE(tb::autorun_values().empty());
}

TEST_F(RestartE2E, TwoRestartsInOneLoopLeaveOneRegistrationAtATimeAndNoneAtTheEnd) {
    ProcessResult first = first_run(
        "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n"
        "i = 0;\n"
        "While( i < 4 ){\n"
        "  i = i + 1;\n"
        "  If( i == 1 ){ PCReBoot( PowerAction:1 ); }\n"
        "  If( i == 3 ){ PCReBoot( PowerAction:1 ); }\n"
        "  Print( Output:\"STEP\" + i + \"=\" + i );\n"
        "}\n"
        "Print( Output:\"DONE=\" + i );\n");
    EXPECT_EQ(first.exit_code, kOrderlyRestart) << first.output;
    EXPECT_FALSE(has(first, "STEP1=")) << first.output;
    ASSERT_EQ(tb::autorun_values().size(), 1u);
    EXPECT_EQ(tb::autorun_values()[0].first, "Tamblor_Reboot1");

    ProcessResult second = next_start();
    EXPECT_EQ(second.exit_code, kOrderlyRestart) << second.output;
    EXPECT_TRUE(has(second, "STEP1=1")) << second.output;
    EXPECT_TRUE(has(second, "STEP2=2")) << second.output;
    EXPECT_FALSE(has(second, "STEP3=")) << second.output;
    ASSERT_EQ(tb::autorun_values().size(), 1u);
    EXPECT_EQ(tb::autorun_values()[0].first, "Tamblor_Reboot2");
    EXPECT_NE(tb::autorun_values()[0].second.find("FRAME:2/0"), std::string::npos);

    ProcessResult third = next_start();
    EXPECT_EQ(third.exit_code, 0) << third.output;
    EXPECT_FALSE(has(third, "STEP2=")) << third.output;
    EXPECT_TRUE(has(third, "STEP3=3")) << third.output;
    EXPECT_TRUE(has(third, "DONE=4")) << third.output;
    EXPECT_TRUE(tb::autorun_values().empty());
    EXPECT_TRUE(state_files().empty());
}

TEST_F(RestartE2E, AStartWithDamagedStateFilesIsRefusedAndItsRegistrationConsumed) {
    ProcessResult before = first_run(kLoopScript);
    ASSERT_EQ(before.exit_code, kOrderlyRestart) << before.output;
    std::ofstream(dir() / "ScreenAPId1_MainList.sct", std::ios::binary | std::ios::trunc) << "cut";
    ProcessResult after = next_start();
    EXPECT_NE(after.exit_code, 0) << after.output;
    EXPECT_TRUE(has(after, "MainList.sct")) << after.output;
    EXPECT_FALSE(has(after, "RESUMED=")) << after.output;
    EXPECT_FALSE(has(after, "OTHER=1")) << "the script must not start over\n" << after.output;
    EXPECT_TRUE(tb::autorun_values().empty());
}

namespace {

// The data file of the run's LBARead.
std::string read_back(const ProcessResult& r) {
    const std::string tag = "Hex File : ";
    size_t at = r.output.find("LBARead");
    at = at == std::string::npos ? at : r.output.find(tag, at);
    if (at == std::string::npos) return {};
    at += tag.size();
    return tb::test::read_file(r.output.substr(at, r.output.find('\n', at) - at));
}

std::string spor_script(bool spor) {
    return std::string("ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n"
                       "LBAWrite( LBA:0, SectorCount:8, WritePattern:0x11111111, MarkSectorHeader:FALSE );\n"
                       "FlushCache();\n"
                       "LBAWrite( LBA:8, SectorCount:8, WritePattern:0x22222222, MarkSectorHeader:FALSE );\n"
                       "PCReBoot( PowerAction:1, SPOR:") +
           (spor ? "TRUE" : "FALSE") +
           " );\n"
           "LBARead( LBA:0, SectorCount:16 );\n";
}

}  // namespace

TEST_F(RestartE2E, AnAbruptRestartLosesTheUnflushedWrites) {
    ProcessResult before = first_run(spor_script(true));
    EXPECT_EQ(before.exit_code, kAbruptRestart) << before.output;
    ProcessResult after = next_start();
    ASSERT_EQ(after.exit_code, 0) << after.output;
    const std::string data = read_back(after);
    ASSERT_EQ(data.size(), 16u * 512) << after.output;
    EXPECT_EQ(data.substr(0, 4096), std::string(4096, '\x11'));  // flushed before
    EXPECT_EQ(data.substr(4096), std::string(4096, '\0'));       // in the cache when the power went
}

TEST_F(RestartE2E, AnOrderlyRestartKeepsTheCachedWrites) {
    ProcessResult before = first_run(spor_script(false));
    EXPECT_EQ(before.exit_code, kOrderlyRestart) << before.output;
    ProcessResult after = next_start();
    ASSERT_EQ(after.exit_code, 0) << after.output;
    const std::string data = read_back(after);
    ASSERT_EQ(data.size(), 16u * 512) << after.output;
    EXPECT_EQ(data.substr(4096), std::string(4096, '\x22'));
}
