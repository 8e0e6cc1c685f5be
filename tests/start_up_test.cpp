// Start-up: our options beside the command-line rules, the console requests,
// the target rules, the remote-shell probe and the child command line.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/console_requests.h"
#include "app/start_up.h"
#include "disk/target_select.h"
#include "script/app_context.h"
#include "script/fn_script.h"

using namespace tb;

namespace {

StartOptions split(std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>("tamblor")};
    for (auto& a : args) argv.push_back(a.data());
    return split_start_options(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(StartOptions, MachineOptionsAreNotCommandLineWords) {
    StartOptions o = split({"--sim=machine.ini", "SCRIPT:a.scpt", "x"});
    EXPECT_EQ(o.sim_config, "machine.ini");
    EXPECT_FALSE(o.linux_disks);
    EXPECT_EQ(o.machine_options, (std::vector<std::string>{"--sim=machine.ini"}));
    EXPECT_EQ(o.words, (std::vector<std::string>{"SCRIPT:a.scpt", "x"}));
    EXPECT_TRUE(split({"--linux"}).linux_disks);
    // The last machine option wins.
    EXPECT_FALSE(split({"--linux", "--sim"}).linux_disks);
}

TEST(StartOptions, ScriptAndSubBaseSurviveALaterSubParam) {
    // The child command line of a function script: SUBPARAM replaces the
    // sub-parameter list, so SCRIPT and SUBBASE must be read on the way.
    StartOptions o = split({"SCRIPT:/w/child.scpt,", "DRIVE:\\\\.\\PHYSICALDRIVE1,", "FRAME:4/4,",
                            "SUBBASE:/w/log/S0000000007,", "SUBPARAM:a=1$b$,", "AUTOCLOSE:1"});
    EXPECT_EQ(o.script, "/w/child.scpt");
    EXPECT_EQ(o.sub_base, "/w/log/S0000000007");
    reset_app_context();
    parse_command_line(o.words);
    EXPECT_EQ(app().target, "\\\\.\\PHYSICALDRIVE1");
    EXPECT_EQ(app().sub_params, "a=1$b$AUTOCLOSE:1$");
}

TEST(StartOptions, ScriptWordWrittenApartIsJoined) {
    StartOptions o = split({"SCRIPT:", "/tmp/a b.scpt"});
    EXPECT_EQ(o.script, "/tmp/a b.scpt");
    EXPECT_EQ(o.words, (std::vector<std::string>{"SCRIPT:/tmp/a b.scpt"}));
    EXPECT_EQ(split({"SCRIPT:\"/tmp/q.scpt\""}).script, "/tmp/q.scpt");
}

TEST(ConsoleRequests, RequestsAreWholeWordsWithTheirSeparator) {
    EXPECT_EQ(find_console_request("--ver$"), ConsoleRequest::Version);
    EXPECT_EQ(find_console_request("--VERSION$"), ConsoleRequest::Version);
    EXPECT_EQ(find_console_request("--list$1$"), ConsoleRequest::List);
    EXPECT_EQ(find_console_request("--listslave$"), ConsoleRequest::ListSlave);
    EXPECT_EQ(find_console_request("--qzhelp$"), ConsoleRequest::Help);
    // --list1 is no request at all; a word merely starting like one neither.
    EXPECT_EQ(find_console_request("--list1$"), ConsoleRequest::None);
    EXPECT_EQ(find_console_request("--versions$"), ConsoleRequest::None);
    EXPECT_EQ(find_console_request("SCRIPT:a.scpt$"), ConsoleRequest::None);
    // Listings come first, help before version.
    EXPECT_EQ(find_console_request("--ver$--help$"), ConsoleRequest::Help);
    EXPECT_EQ(find_console_request("--help$--list$"), ConsoleRequest::List);
}

TEST(ConsoleRequests, ModifierSelectsTheColumnListing) {
    EXPECT_TRUE(console_modifier("--list$1$"));
    EXPECT_FALSE(console_modifier("--list$"));
    EXPECT_EQ(listing_arguments(false, true, "\\\\.\\PHYSICALDRIVE1"),
              "ShowVolumn:FALSE, Column:TRUE, Filter:\"\\\\.\\PHYSICALDRIVE1\", Master:TRUE ");
    EXPECT_EQ(listing_arguments(true, false, ""), "ShowVolumn:FALSE, Column:FALSE, Filter:\"\", Master:FALSE ");
}

TEST(ConsoleRequests, VersionLine) {
    reset_app_context();
    app().caption = "Sample";
    EXPECT_EQ(version_text(), "Sample " + std::string(50, ' ') + "\n");
    app().debug_level = 1;
    EXPECT_EQ(version_text(), "Sample " + std::string(50, ' ') + "\nKernel: Tamblor 9.0.2.25-511\n");
}

TEST(TargetRules, AllTargetAddsItsFilterAndTestsEveryDisk) {
    reset_app_context();
    set_disk_restriction({});
    app().run_style = kStyleConsole;
    app().target = "\\\\.\\ALL\\MODEL\\X";
    app().sub_params = "a$";
    apply_target_rules("", "");
    EXPECT_EQ(app().sub_params, "a$Init_AllFilter=\\\\.\\ALL\\MODEL\\X$");
    EXPECT_EQ(app().target, "\\\\.\\COMBOdisk1");
}

TEST(TargetRules, WithoutDriveAndNoDiskWordsAcceptEveryDisk) {
    reset_app_context();
    app().run_style = kStyleConsole;
    DiskRestriction r;
    r.active = true;
    r.model_filter = "MODEL-A";
    set_disk_restriction(r);
    apply_target_rules("_WithOutDrv", "");
    EXPECT_EQ(disk_restriction().model_filter, "**");
    EXPECT_EQ(app().target, "\\\\.\\COMBOdisk1");

    reset_app_context();
    app().run_style = kStyleConsole;
    set_disk_restriction(r);
    app().sub_params = "--report$";
    apply_target_rules("", "--check,--report");
    EXPECT_EQ(disk_restriction().model_filter, "**");

    reset_app_context();
    set_disk_restriction(r);
    app().sub_params = "--reports$";
    apply_target_rules("", "--check,--report");
    EXPECT_EQ(disk_restriction().model_filter, "MODEL-A");
    EXPECT_TRUE(app().target.empty());
    set_disk_restriction({});
}

TEST(RemoteShell, SshdParentMakesARemoteConsoleRun) {
    EXPECT_TRUE(remote_shell_in({"bash", "sshd"}));
    EXPECT_TRUE(remote_shell_in({"sshd-session"}));
    EXPECT_TRUE(remote_shell_in({"OpenSSH"}));
    EXPECT_FALSE(remote_shell_in({"bash", "tmux: server", "systemd"}));
    EXPECT_FALSE(remote_shell_in({}));
}

TEST(FnScriptChild, CommandLineWordsAsTheChildSeesThem) {
    instance_options() = {"--sim=m.ini"};
    auto argv = fn_script_child_arguments("/opt/tamblor", "/w/s.scpt", "\\\\.\\PHYSICALDRIVE2", "/w/log/R0000000003",
                                          "k=v", true);
    EXPECT_EQ(argv, (std::vector<std::string>{"/opt/tamblor", "--sim=m.ini", "SCRIPT:/w/s.scpt,",
                                              "DRIVE:\\\\.\\PHYSICALDRIVE2,", "FRAME:4/4,",
                                              "SUBBASE:/w/log/R0000000003,", "SUBPARAM:k=v,", "AUTOCLOSE:1"}));
    instance_options().clear();
}

#include "tests/test_support.h"

TEST(FnScriptImport, ChildOutputsBecomeJobLogLines) {
    std::string folder = test::fresh_slot();
    std::string base = folder + "/S0000000004";
    test::write_file(folder, "S0000000004.INI",
                     "[Result]\r\nITEM0=Capacity OK\r\nITEM1=Err: CRC mismatch\r\nITEM2=Report[LINK]/w/r.htm\r\n"
                     "ITEM4=after a gap is not read\r\n");
    test::write_file(folder, "S0000000004.TXT", "##### SCRIPT START\r\n      child line\r\n");
    test::write_file(folder, "S0000000004.XML",
                     "<?xml version=\"1.0\"?>\r\n<Run>\r\n  <ReadScore>812</ReadScore>\r\n  <Model>SIM SSD</Model>\r\n</Run>\r\n");
    import_child_outputs(0, base, 1500);
    std::string out = test::console_output();
    EXPECT_NE(out.find("Capacity OK"), std::string::npos) << out;
    EXPECT_NE(out.find("Err: CRC mismatch"), std::string::npos);
    EXPECT_NE(out.find("Report"), std::string::npos);
    EXPECT_EQ(out.find("[LINK]"), std::string::npos) << out;
    EXPECT_EQ(out.find("after a gap"), std::string::npos) << out;
    EXPECT_NE(out.find("      child line"), std::string::npos);
    EXPECT_NE(out.find("ReadScore" + std::string(51, ' ') + " : 812"), std::string::npos) << out;
    EXPECT_NE(out.find("Model" + std::string(55, ' ') + " : SIM SSD"), std::string::npos) << out;
    EXPECT_EQ(out.find("<Run>"), std::string::npos);
    EXPECT_NE(out.find("Elapsed Time(ms): 1500"), std::string::npos);
    EXPECT_NE(out.find("Elapsed Time    : 1.500 sec"), std::string::npos) << out;
}
