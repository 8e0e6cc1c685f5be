// End-to-end: the real binary runs scripts in console runs; the console
// output, the log folder and the exit code are checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

using tb::test::log_folder_of;
using tb::test::read_file;
using tb::test::script_exit;
using tb::test::source_file;
using RunResult = tb::test::ProcessResult;
namespace fs = std::filesystem;

RunResult run_binary(const std::vector<std::string>& args, const fs::path& dir) {
    return tb::test::run_tamblor(dir, args);
}

void write_script(const fs::path& dir, const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
}

}  // namespace

TEST(EndToEnd, SampleScriptPassesWithItsOutput) {
    tb::test::TempFolder tmp("tamblor-e2e");
    RunResult r = run_binary({"SCRIPT:" + source_file("examples/sample.scpt").string()}, tmp.dir());
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("        Sample script start\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("a=20 b=14 mask=0x10 label=LBA_0x1000"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("sizes: 3 words: 3 second word: beta"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("branch: sixteen"), std::string::npos);
    EXPECT_EQ(r.output.find("branch: eight"), std::string::npos);
    EXPECT_NE(r.output.find("Loop Visits : 6"), std::string::npos);
    EXPECT_NE(r.output.find("-- Error Count: 1 --"), std::string::npos);
    EXPECT_NE(r.output.find("-- Error Count: 2 --"), std::string::npos);
    EXPECT_NE(r.output.find("ErrorCount: 2"), std::string::npos);
    EXPECT_NE(r.output.find("read back 0x2A, errors tolerated 2"), std::string::npos) << r.output;
    // Console runs have no banners.
    EXPECT_EQ(r.output.find("##### SCRIPT START"), std::string::npos);

    fs::path folder = log_folder_of(r.output);
    ASSERT_FALSE(folder.empty()) << r.output;
    std::string html = read_file(folder / "TestLog.htm");
    EXPECT_EQ(html.rfind("<html><head><meta http-equiv='Content-Type' content='text/html; charset=utf-8'>", 0), 0u);
    EXPECT_NE(html.find("Loop&nbsp;Visits&nbsp;:&nbsp;6"), std::string::npos);
    EXPECT_FALSE(read_file(folder / "sample.scpt").empty());  // the script is copied into the log folder
    // The end-of-run step removes the result file.
    EXPECT_TRUE(read_file(folder / "_Result.txt").empty());
}

TEST(EndToEnd, ExitCodeIsTheScriptsCode) {
    tb::test::TempFolder tmp("tamblor-e2e");
    write_script(tmp.dir(), "x.scpt", "Exit( ErrCode:3, ErrDesc:\"\" );");
    EXPECT_EQ(run_binary({"SCRIPT:x.scpt"}, tmp.dir()).exit_code, 3);
}

TEST(EndToEnd, ErrorStopExitsWithTheErrorCode) {
    tb::test::TempFolder tmp("tamblor-e2e");
    write_script(tmp.dir(), "x.scpt", "Print(Output:\"before\");\r\nNoSuch();\r\nPrint(Output:\"after\");");
    RunResult r = run_binary({"SCRIPT:x.scpt"}, tmp.dir());
    EXPECT_EQ(r.exit_code, script_exit(-16));
    EXPECT_NE(r.output.find("[Error Code]:  0xFFFFFFF0"), std::string::npos);
    EXPECT_NE(r.output.find("before"), std::string::npos);
    EXPECT_EQ(r.output.find("after"), std::string::npos);
}

TEST(EndToEnd, InitParametersReachTheScript) {
    tb::test::TempFolder tmp("tamblor-e2e");
    write_script(tmp.dir(), "p.scpt", "x = 1;");
    RunResult r = run_binary({"SCRIPT:p.scpt", "LOOP=5", "--fast", "plain"}, tmp.dir());
    EXPECT_EQ(r.exit_code, 0) << r.output;
}

TEST(EndToEnd, MissingScriptIsAnError) {
    tb::test::TempFolder tmp("tamblor-e2e");
    RunResult r = run_binary({"SCRIPT:nothere.scpt"}, tmp.dir());
    EXPECT_EQ(r.exit_code, script_exit(-11));
    EXPECT_NE(r.output.find("File Open Fail or File Does Not Exist"), std::string::npos);
    EXPECT_EQ(run_binary({}, tmp.dir()).exit_code, 2);
}

TEST(EndToEnd, VendorExampleRunsOnItsMachine) {
    tb::test::TempFolder tmp("tamblor-e2e");
    RunResult r = run_binary({"--sim=" + source_file("examples/vendor/machine.ini").string(),
                              "SCRIPT:" + source_file("examples/vendor/vendor.scpt").string()},
                             tmp.dir());
    EXPECT_EQ(r.exit_code, 0) << r.output;
    for (const char* line : {"SoC ID           : 2263", "vendor_model_name        : LAB MODEL 7", "Cdump File    : ",
                             "Brand New Done", "Host Write Commands"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
}

TEST(EndToEnd, QualificationExamplePassesOnTheSimulatedMachine) {
    // The README's first command: the qualification example on a clean simulated machine.
    tb::test::TempFolder tmp("tamblor-e2e");
    RunResult r = run_binary({"--sim", "SCRIPT:" + source_file("examples/qualification/qualify.scpt").string()}, tmp.dir());
    EXPECT_EQ(r.exit_code, 0) << r.output;
    for (const char* line : {"Model Number", "Avg IOps", "Compare Result : Compare Finish. No error exist. | 0",
                             "Total Error Sectors              : 0", "==== Qualification PASSED ===="})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
}
