// The machine options: --sim, --linux and --windows choose the machine; a
// real machine the program was not built for is refused at once with -2.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/start_up.h"
#include "platform/native_machine.h"
#include "tests/e2e_support.h"

namespace {

tb::StartOptions split(std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>("tamblor")};
    for (auto& a : args) argv.push_back(a.data());
    return tb::split_start_options(static_cast<int>(argv.size()), argv.data());
}

TEST(MachineOption, WindowsNamesTheRealWindowsDisks) {
    tb::StartOptions o = split({"--windows", "SCRIPT:a.scpt"});
    EXPECT_TRUE(o.windows_disks);
    EXPECT_FALSE(o.linux_disks);
    EXPECT_EQ(o.machine_options, (std::vector<std::string>{"--windows"}));
    EXPECT_EQ(o.words, (std::vector<std::string>{"SCRIPT:a.scpt"}));
    // The last machine option wins.
    EXPECT_FALSE(split({"--windows", "--sim"}).windows_disks);
    tb::StartOptions both = split({"--windows", "--linux"});
    EXPECT_TRUE(both.linux_disks);
    EXPECT_FALSE(both.windows_disks);
}

TEST(MachineOption, TheOtherSystemsDisksAreRefusedWithABadArgument) {
    tb::test::TempFolder tmp("tamblor-machine");
    std::ofstream(tmp.dir() / "t.scpt", std::ios::binary) << "Print( Output:\"ran\" );\r\n";
    const std::string other = tb::native_machine_option() == "--windows" ? "--linux" : "--windows";
    const auto r = tb::test::run_tamblor(tmp.dir(), {other, "SCRIPT:t.scpt"});
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << r.output;
    EXPECT_NE(r.output.find(other + ": this program was built for"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("ran"), std::string::npos) << r.output;
}

#ifdef _WIN32
// Without storage pass-through (as under wine) the real machine still
// starts: the list may be empty, and a target that is not there ends the
// run with -1.
TEST(MachineOption, WindowsDisksAreListedAndAMissingTargetIsReported) {
    tb::test::TempFolder tmp("tamblor-machine");
    const auto list = tb::test::run_tamblor(tmp.dir(), {"--windows", "--list"});
    EXPECT_EQ(list.exit_code, 0) << list.output;

    std::ofstream(tmp.dir() / "t.scpt", std::ios::binary) << "Print( Output:\"ran\" );\r\n";
    const auto r = tb::test::run_tamblor(tmp.dir(), {"--windows", "SCRIPT:t.scpt", "\\\\.\\PHYSICALDRIVE97"});
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-1)) << r.output;
    EXPECT_NE(r.output.find("NO FOUND"), std::string::npos) << r.output;
}
#endif

}  // namespace
