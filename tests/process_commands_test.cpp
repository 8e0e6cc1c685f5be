// The process commands (Help, ShowCLICmdHeader, AutoRunOnStartup), the single
// command, the command-line splitter and the autostart store's runner.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "app/command_line.h"
#include "app/start_up.h"
#include "platform/autostart.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "script/run_job.h"
#include "tests/scoped_environment.h"
#include "tests/test_support.h"

using namespace tb;

namespace {

class ProcessCommands : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::fresh_slot();
        store_ = folder_ + "/autostart";
        startup_store_.emplace(folder_);
    }
    void TearDown() override { startup_store_.reset(); }
    std::optional<test::ScopedStartupStore> startup_store_;
    std::string folder_, store_;
};

}  // namespace

TEST(CommandLineSplit, QuotesAndBackslashesAsTheShellOfTheOtherPlatform) {
    EXPECT_EQ(split_command_line("\"/opt/t b/tamblor\" SCRIPT:\"/w/a.scpt\", DRIVE:\"\\\\.\\PHYSICALDRIVE1\", AUTOCLOSE:0"),
              (std::vector<std::string>{"/opt/t b/tamblor", "SCRIPT:/w/a.scpt,", "DRIVE:\\\\.\\PHYSICALDRIVE1,",
                                        "AUTOCLOSE:0"}));
    // 2n+1 backslashes before a quote: n backslashes and a literal quote.
    EXPECT_EQ(split_command_line("a\\\"b \"c d\""), (std::vector<std::string>{"a\"b", "c d"}));
    // 2n backslashes before a quote: n backslashes, and the quote groups.
    EXPECT_EQ(split_command_line("x\\\\\"y z\""), (std::vector<std::string>{"x\\y z"}));
    EXPECT_EQ(split_command_line("  one\t two  "), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(split_command_line("\"\""), (std::vector<std::string>{""}));
    EXPECT_TRUE(split_command_line("   ").empty());
}

TEST_F(ProcessCommands, HelpWritesTheFileWithTheDiskPlaceholderFilledIn) {
    job_slot(0)->script_path = test::write_file(folder_, "s.scpt", "");
    test::write_file(folder_, "help.txt", "Run on [DISK] first\r\n*Then read the log\r\n");
    EXPECT_EQ(test::run("Help();"), 1);
    std::string out = test::console_output();
    EXPECT_NE(out.find("Run on \\\\.\\PhysicalDrive1 first"), std::string::npos) << out;
    EXPECT_NE(out.find("Then read the log"), std::string::npos) << out;
    EXPECT_EQ(out.find("*Then"), std::string::npos) << out;
    // helpw.txt is preferred over help.txt.
    test::write_file(folder_, "helpw.txt", "wide help\r\n");
    test::run("Help();");
    EXPECT_NE(test::console_output().find("wide help"), std::string::npos);
}

TEST_F(ProcessCommands, HelpWithoutAFileWritesNothing) {
    job_slot(0)->script_path = test::write_file(folder_, "s.scpt", "");
    size_t before = test::console_output().size();
    EXPECT_EQ(test::run("Help();"), 1);
    std::string out = test::console_output().substr(before);
    EXPECT_EQ(out.find("Target disk forms"), std::string::npos) << out;
}

TEST_F(ProcessCommands, ShowCliCmdHeaderSetsTheHideFlag) {
    test::run("ShowCLICmdHeader( Show:FALSE );");
    EXPECT_TRUE(job_slot(0)->hide_command_echo);
    test::run("ShowCLICmdHeader( Show:TRUE );");
    EXPECT_FALSE(job_slot(0)->hide_command_echo);
}

TEST_F(ProcessCommands, AutoRunCancelledDuringTheCountdownLeavesNothingRegistered) {
    set_autorun_value("AutoRunOnStartup", "old");
    set_autorun_value("Tamblor_OnStartup", "older");
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        set_cancel(0);
    });
    test::run("AutoRunOnStartup();");
    stopper.join();
    EXPECT_EQ(get_autorun_value("AutoRunOnStartup"), "");
    EXPECT_EQ(get_autorun_value("Tamblor_OnStartup"), "");
    EXPECT_NE(test::console_output().find("Windows Startup Auto-Run Setting is Deleted"), std::string::npos);
}

TEST_F(ProcessCommands, AutoRunRegistersTheScriptAfterTheCountdownAndExitRemovesIt) {
    job_slot(0)->script_path = "/w/job.scpt";
    app().program_path = "/opt/tamblor/tamblor";
    auto start = std::chrono::steady_clock::now();
    test::run("AutoRunOnStartup();");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(7));
    std::string value = get_autorun_value("AutoRunOnStartup");
    EXPECT_EQ(value.rfind("\"/opt/tamblor/tamblor\" SCRIPT:\"/w/job.scpt\", DRIVE:\"", 0), 0u) << value;
    EXPECT_NE(value.find("\", AUTOCLOSE:0"), std::string::npos) << value;
    std::string out = test::console_output();
    EXPECT_NE(out.find("Current script will Auto-Run on next time Windows Startup"), std::string::npos);
    EXPECT_NE(out.find("Call Exit() to exit script will stop AutoRunOnStartup"), std::string::npos);
    test::run("Exit( ErrCode:0, ErrDesc:\"\" );");
    EXPECT_EQ(get_autorun_value("AutoRunOnStartup"), "");
}

namespace {

// The registered command lines start this test binary itself, running no
// test but writing its report: a program every system can start.
std::string report_writing_command(const std::string& report) {
    return "\"" + program_path() + "\" --gtest_filter=NoSuchSuite.NoSuchTest \"--gtest_output=xml:" + report + "\"";
}

}  // namespace

TEST_F(ProcessCommands, AutostartRunnerStartsEveryRegisteredCommand) {
    const std::string a = path_join(folder_, "a report.xml"), b = path_join(folder_, "b.xml");
    set_autorun_value("AutoRunOnStartup", report_writing_command(a));
    set_autorun_value("Other", report_writing_command(b));
    EXPECT_EQ(run_autostart_entries(), 0);
    EXPECT_TRUE(file_exists(a));
    EXPECT_TRUE(file_exists(b));
    EXPECT_EQ(autorun_values().size(), 2u);
}

TEST_F(ProcessCommands, SingleCommandRunsOneStatementAndTheEndOfRunStep) {
    EXPECT_EQ(run_single_command(0, "   x = 40 + 2;  "), 1);
    EXPECT_EQ(test::var("x"), "42");
    EXPECT_FALSE(file_exists(path_join(folder_, "_Result.txt")));
    EXPECT_FALSE(app().jobs[0].running.load());
    // Empty text does nothing.
    EXPECT_EQ(run_single_command(0, "   "), 1);
}
