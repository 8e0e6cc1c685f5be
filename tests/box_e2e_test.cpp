// End to end: a script's boxes in a console run whose standard input is no
// terminal (the null device, as from a pipe or a service) return 0 at once,
// without waiting for their count-down, and the job goes on to its end.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/e2e_support.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMachine = "[machine]\npersist = 0\n[disk0]\ntype = nvme\ncapacity = 64MiB\n";

TEST(BoxesE2E, BoxesWithoutATerminalAnswerZeroAtOnceAndTheJobGoesOn) {
    tb::test::SimMachineFolder machine{"tamblor-box-e2e", kMachine};
    const auto start = std::chrono::steady_clock::now();
    const tb::test::ProcessResult r = tb::test::run_sim_script(
        machine.dir(),
        "a = MessageBox( Output:\"Replug the disk\", AutoOK:TRUE );\n"
        "b = ComboBox( Output:\"Pick\", ItemList:\"A|*B|C\", AutoOK:TRUE );\n"
        "c = NumberBox( \"Loops:\", 25, TRUE );\n"
        "d = CheckListBox( \"Items\", \"*A|B\", TRUE );\n"
        "e = InputBox( Title:\"Serial\", Default:\"SN1\" );\n"
        "f = FileSelectBox( \"*.bin#FW\" );\n"
        "Print( Output:\"A=\" + a + \" B=\" + b + \" C=\" + c + \" D=\" + d + \" E=\" + e + \" F=\" + f );\n"
        "Print( Output:\"DONE=1\" );\n");
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(r.exited) << r.output;
    EXPECT_EQ(r.exit_code, 0) << r.output;
    const auto values = tb::test::printed_values(r.output);
    for (const char* name : {"A", "B", "C", "D", "E", "F"}) {
        ASSERT_TRUE(values.count(name)) << name << "\n" << r.output;
        EXPECT_EQ(values.at(name), 0) << name;
    }
    EXPECT_EQ(values.count("DONE"), 1u) << r.output;
    EXPECT_EQ(r.output.find("Cancel"), std::string::npos) << r.output;
    EXPECT_LT(took, std::chrono::seconds(15)) << "no box waited for its count-down";

    // The job's log holds the answers too.
    const std::string log = tb::test::log_folder_of(r.output);
    ASSERT_FALSE(log.empty()) << r.output;
    std::string html = tb::test::read_file(fs::path(log) / "TestLog.htm");
    for (size_t p; (p = html.find("&nbsp;")) != std::string::npos;) html.replace(p, 6, " ");
    EXPECT_NE(html.find("A=0 B=0 C=0 D=0 E=0 F=0"), std::string::npos) << html;
}

TEST(BoxesE2E, AnEmptyItemListEndsTheRunWithMinusTwo) {
    tb::test::SimMachineFolder machine{"tamblor-box-e2e", kMachine};
    const tb::test::ProcessResult r =
        tb::test::run_sim_script(machine.dir(), "b = ComboBox( Output:\"Pick\", ItemList:\"A\" );\nPrint( Output:\"AFTER=1\" );\n");
    ASSERT_TRUE(r.exited) << r.output;
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << r.output;
    EXPECT_NE(r.output.find("ItemList must include \"|\" for split Item"), std::string::npos) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output).count("AFTER"), 0u) << r.output;
}

}  // namespace
