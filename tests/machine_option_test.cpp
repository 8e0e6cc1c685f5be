// The machine options: --sim, --linux and --windows choose the machine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/start_up.h"

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

}  // namespace
