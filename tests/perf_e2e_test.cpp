// End to end: the real binary runs performance commands on its built-in
// simulated machine; the summary, the files of the log folder and the exit
// code are checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e_support.h"

namespace {

using RunResult = tb::test::ProcessResult;
using tb::test::read_file;

TEST(PerfEndToEnd, SequentialWriteAndRandomReadOnTheSimulatedDisk) {
    tb::test::TempFolder tmp("tamblor-perf-e2e");
    std::ofstream(tmp.dir() / "p.scpt", std::ios::binary)
        << "Performance_SeqWrite( LBA:0, RangeLenMB:32, AccessKB:128, QD:8, WritePattern:0x55AA33CC, LimitCycle:1 );\r\n"
           "Performance_RandRead( LBA:0, RangeLenMB:32, AccessKB:4, QD:16, LimitTxSizeMB:4 );\r\n"
           "Performance_SeqRead( LBA:0, RangeLenMB:32, AccessKB:64 );\r\n";  // default QD 32, one cycle
    RunResult r = tb::test::run_tamblor(tmp.dir(), {"SCRIPT:p.scpt"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("        Last Cycle Data, Cycle1, Process:100%\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("        Transfer Size(MB): 32\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("        Transfer Size(MB): 4\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("        Avg MBps: "), std::string::npos);
    EXPECT_NE(r.output.find("        Qos Distributed List\n"), std::string::npos);

    const std::filesystem::path folder = tb::test::log_folder_of(r.output);
    ASSERT_FALSE(folder.empty()) << r.output;
    int csv = 0, qos = 0, png = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        std::string name = e.path().filename().string();
        if (name.size() > 4 && name.substr(name.size() - 4) == ".CSV") {
            ++csv;
            EXPECT_EQ(read_file(e.path()).rfind("TotalMB,KBPs,IOPs,JobTimeMs,CycleTimeMs,TComposite,", 0), 0u);
        }
        if (name.size() > 8 && name.substr(name.size() - 8) == "_Qos.TXT") {
            ++qos;
            EXPECT_NE(read_file(e.path()).find("Total Count      :"), std::string::npos);
        }
        if (name.size() > 4 && name.substr(name.size() - 4) == ".png") ++png;
    }
    EXPECT_EQ(csv, 3);
    EXPECT_EQ(qos, 3);
    EXPECT_EQ(png, 3);
    std::string html = read_file(folder / "TestLog.htm");
    EXPECT_NE(html.find("Avg&nbsp;MBps:"), std::string::npos);
}

}  // namespace
