// End to end: Compare_MapWrite and Compare_MapCompare show a chart line in
// the job log like the other compare tests, and leave beside it the chart
// image and the CSV series of the bytes they moved; a compare that finds
// errors keeps its detail file apart from the series.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMachine = R"INI([machine]
persist = 0
[disk0]
type = sata
model = MAP CHART SYSTEM
serial = MCS0
capacity = 8GB
volumes = C
[disk1]
type = nvme
model = MAP CHART NVME
serial = MCN1
capacity = 1GB
pci = 3:0.0
)INI";

constexpr const char* kMakeMap =
    "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n"
    "m = Compare_MapMake( RandRatio:0, LBA:0, RangeLenMB:8, AccessKB:64, LimitTxSizeMB:\"CYCLE\" );\n";

class MapChartE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-map-chart-e2e", kMachine};

    auto run(const std::string& script) { return tb::test::run_sim_script(machine_.dir(), script); }

    // The chart lines (".png" paths) of the job log, in order.
    static std::vector<fs::path> chart_lines(const std::string& output) {
        std::vector<fs::path> out;
        std::regex line("\n        (\\S+\\.png)\n");
        for (auto it = std::sregex_iterator(output.begin(), output.end(), line); it != std::sregex_iterator(); ++it)
            out.emplace_back((*it)[1].str());
        return out;
    }

    // The lines of the CSV series beside a chart.
    static std::vector<std::string> series_of(const fs::path& chart) {
        fs::path csv = chart;
        csv.replace_extension(".CSV");
        std::istringstream in(tb::test::read_file(csv));
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) {
            if (!l.empty() && l.back() == '\r') l.pop_back();
            lines.push_back(l);
        }
        return lines;
    }

    static bool is_png(const fs::path& p) { return tb::test::read_file(p).rfind("\x89PNG\r\n\x1a\n", 0) == 0; }
};

TEST_F(MapChartE2E, WriteAndCompareShowAChartAndKeepTheSeriesOfTheirBytes) {
    auto r = run(std::string(kMakeMap) + "Compare_MapWrite( LBAMap:m, QD:8 );\nCompare_MapCompare( LBAMap:m );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const std::vector<fs::path> charts = chart_lines(r.output);
    ASSERT_EQ(charts.size(), 2u) << r.output;
    // The write's chart line follows its header lines, the compare's comes
    // before its counts.
    EXPECT_LT(r.output.find("Write Pattern : 0x55AA33CC"), r.output.find(charts[0].string())) << r.output;
    EXPECT_LT(r.output.find(charts[0].string()), r.output.find("Write Complete Counts   : 128")) << r.output;
    EXPECT_LT(r.output.find(charts[1].string()), r.output.find("Total Error Sectors              : 0")) << r.output;
    for (const fs::path& chart : charts) {
        EXPECT_EQ(chart.parent_path(), fs::path(tb::test::log_folder_of(r.output))) << r.output;
        EXPECT_TRUE(is_png(chart)) << chart;
        const std::vector<std::string> series = series_of(chart);
        ASSERT_GE(series.size(), 2u) << chart;
        EXPECT_EQ(series[0], "TotalMB,KBPs,IOPs,JobTimeMs,CycleTimeMs,TComposite,T1,T2,T3,T4,T5,T6,T7,T8");
        // The last point holds every byte: 8 MiB written, then 8 MiB read.
        EXPECT_EQ(series.back().substr(0, 2), "8,") << series.back();
        const long kbps = std::stol(series.back().substr(2));
        EXPECT_GT(kbps, 0) << series.back();
    }
}

TEST_F(MapChartE2E, TheDetailFileOfACompareWithErrorsDoesNotShareTheSeriesName) {
    // Compared against another pattern than the one written: every unit is
    // wrong, so the detail file is written beside the series.
    auto r = run(std::string(kMakeMap) + "Compare_MapWrite( LBAMap:m, QD:8 );\n"
                                         "Compare_MapCompare( LBAMap:m, WritePattern:0x12345678 );\n");
    EXPECT_NE(r.output.find("Detail Data for each error commands."), std::string::npos) << r.output;
    const fs::path folder = tb::test::log_folder_of(r.output);
    ASSERT_EQ(tb::test::files_ending(folder, ".csv").size(), 1u) << r.output;
    ASSERT_EQ(tb::test::files_ending(folder, ".CSV").size(), 2u) << r.output;
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        std::string name = e.path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        EXPECT_TRUE(names.insert(name).second) << "two files named " << name << " but for case";
    }
}

}  // namespace
