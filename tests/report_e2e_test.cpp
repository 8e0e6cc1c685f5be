// End-to-end: the real binary on a simulated machine prints the reports and
// the script reads values back from what they printed.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

constexpr const char kMachine[] = R"INI([machine]
persist = 0

[disk0]
type = sata
model = SYSTEM DISK
capacity = 2GB
volumes = C

[disk1]
type = nvme
model = E2E NVME REPORT DISK
serial = E2ENVME000000000001
firmware = EN1.0
capacity = 1GiB
pci = 4:0.0

[disk2]
type = sata
model = E2E SATA REPORT DISK
serial = E2ESATA0000000000002
firmware = ES1.0
capacity = 1GiB
)INI";

class ReportE2E : public ::testing::Test {
  protected:
    tb::test::SimMachineFolder machine_{"tamblor-report-e2e", kMachine};
    const fs::path dir_ = machine_.dir();

    // Runs the statements (one per line) as a script on disk `target`.
    std::string run(const std::string& statements, const std::string& target, int* exit_code = nullptr) {
        std::string script;
        std::istringstream in(statements);
        for (std::string line; std::getline(in, line);) script += line + "\r\n";
        const tb::test::ShellResult r =
            tb::test::run_sim_script(dir_, script, {"\\\\.\\PHYSICALDRIVE" + target});
        if (exit_code) *exit_code = r.exit_code;
        return r.output;
    }
};

std::string trim(std::string s) {
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The text after the first ':' of the first console line that starts with
// `label`, trimmed (as the keyword lookup splits a line).
std::string printed_value(const std::string& out, const std::string& label) {
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line.compare(first, label.size(), label) != 0) continue;
        const size_t colon = line.find(':', first);
        if (colon != std::string::npos) return trim(line.substr(colon + 1));
    }
    return "<not printed>";
}

// Column `i` of a printed row's value (split at '|').
std::string printed_column(const std::string& value, size_t i) {
    size_t start = 0;
    for (size_t k = 0; k < i; ++k) {
        start = value.find('|', start);
        if (start == std::string::npos) return "<none>";
        ++start;
    }
    return trim(value.substr(start, value.find('|', start) - start));
}

TEST_F(ReportE2E, ResultAndResultColumnReadBackWhatTheNvmeReportsPrinted) {
    int code = -1;
    const std::string out = run(
        "Identify();\n"
        "m = Result( KeyWord:\"Model Number\", ShowResult:FALSE );\n"
        "s = Result( KeyWord:\"Serial Number\", ShowResult:FALSE );\n"
        "SMART();\n"
        "t = ResultColumn( KeyWord:\"Byte 1-2\", Colume:2, ShowResult:FALSE );\n"
        "h = ResultColumn( KeyWord:\"Byte 3-3\", Colume:1, ShowResult:FALSE );\n"
        "Print( Output:\"MN=[\" + m + \"] SN=[\" + s + \"] T=[\" + t + \"] H=[\" + h + \"]\" );",
        "1", &code);
    EXPECT_EQ(code, 0) << out;
    const std::string model = printed_value(out, "Model Number");
    const std::string serial = printed_value(out, "Serial Number");
    EXPECT_EQ(model, "E2E NVME REPORT DISK");
    EXPECT_EQ(serial, "E2ENVME000000000001");
    const std::string temp = printed_column(printed_value(out, "Byte 1-2"), 2);
    const std::string spare = printed_column(printed_value(out, "Byte 3-3"), 1);
    EXPECT_EQ(spare, "0x64");
    EXPECT_NE(out.find("MN=[" + model + "] SN=[" + serial + "] T=[" + temp + "] H=[" + spare + "]"),
              std::string::npos)
        << out;
}

TEST_F(ReportE2E, AtaIdentifyAndSmartOnASataDisk) {
    int code = -1;
    const std::string out = run(
        "Identify( Items:\"MN|SN|FW\" );\n"
        "m = Result( KeyWord:\"Model Number\", ShowResult:FALSE );\n"
        "SMART();\n"
        "p = ResultColumn( KeyWord:\"09\", Colume:4, ShowResult:FALSE );\n"
        "IdentifyEx( StartWord:255, EndWord:255 );\n"
        "Print( Output:\"MN=[\" + m + \"] POH=[\" + p + \"]\" );",
        "2", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_EQ(printed_value(out, "Model Number"), "E2E SATA REPORT DISK");
    EXPECT_EQ(printed_value(out, "Firmware Version"), "ES1.0");
    const std::string hours = printed_column(printed_value(out, "09: Power On Hours"), 4);
    EXPECT_NE(out.find("MN=[E2E SATA REPORT DISK] POH=[" + hours + "]"), std::string::npos) << out;
    EXPECT_NE(out.find("Word 255"), std::string::npos) << out;
}

TEST_F(ReportE2E, NvmeReportsOnAnAtaDiskAreRefused) {
    int code = 0;
    const std::string out = run("Identify_Controller( StartByte:0, EndByte:10 );", "2", &code);
    EXPECT_NE(code, 0) << out;
    EXPECT_EQ(out.find("Vendor ID (VID)"), std::string::npos) << out;
}

}  // namespace
