// Golden texts of the workload outputs: the CSV header and lines, the
// latency file "_Qos.TXT", the summary lines and the position line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "common/file_handle.h"
#include "ui/job_log.h"
#include "workload/report.h"

namespace tb {
namespace {

std::vector<std::string> split_crlf(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t e = text.find("\r\n", at);
        if (e == std::string::npos) e = text.size();
        out.push_back(text.substr(at, e - at));
        at = e + 2;
    }
    return out;
}

TEST(PerfReport, CsvHeaderAndLine) {
    EXPECT_STREQ(kCsvHeader, "TotalMB,KBPs,IOPs,JobTimeMs,CycleTimeMs,TComposite,T1,T2,T3,T4,T5,T6,T7,T8\r\n");
    ThroughputSample s;
    s.total_bytes = (5ull << 30) + 123;  // 5120 MiB and a little
    s.read_kbps = 100000;
    s.write_kbps = 2400;
    s.read_iops = 25000;
    s.write_iops = 600;
    s.job_ms = 12345;
    s.cycle_ms = 2345;
    s.composite = 310;
    s.sensors = {301, 302, 0, 0, 0, 0, 0, 308};
    EXPECT_EQ(csv_line(s), "5120,102400,25600,12345,2345,310,301,302,0,0,0,0,0,308\r\n");
}

TEST(PerfReport, QosFileListsSeventeenBucketsWithCumulativeShares) {
    std::array<uint64_t, kLatencyBuckets> counts{};
    counts[0] = 1;
    counts[2] = 1;
    counts[4] = 1;  // the last non-empty bucket: 0.5-1 ms
    std::vector<std::string> lines = split_crlf(qos_text(counts));
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[0], "Time             :       Command Count |           Command Ratio |               QoS Ratio ");
    EXPECT_EQ(lines[1], "0-50 us          :                   1 |                  33.33% |                  33.33% ");
    EXPECT_EQ(lines[2], "50-100 us        :                   0 |                   0.00% |                  33.33% ");
    EXPECT_EQ(lines[3], "100-200 us       :                   1 |                  33.33% |                  66.66% ");
    EXPECT_EQ(lines[5], "0.5-1 ms         :                   1 |                  33.33% |                 100.00% ");
    EXPECT_EQ(lines[6], "1-2 ms           :                   0 |                   0.00% |                 100.00% ");
    EXPECT_EQ(lines[17], "> 1 sec          :                   0 |                   0.00% |                 100.00% ");
    EXPECT_EQ(lines[18], "Total Count      :                   3 ");
    // Nothing counted: every share is 0.
    std::vector<std::string> empty = split_crlf(qos_text({}));
    EXPECT_EQ(empty[17], "> 1 sec          :                   0 |                   0.00% |                   0.00% ");
}

TEST(PerfReport, QosFileAppendsOneTablePerCommand) {
    std::string folder = test::fresh_slot();
    std::array<uint64_t, kLatencyBuckets> counts{};
    counts[16] = 7;
    ASSERT_TRUE(append_qos(folder + "/R1", counts));
    ASSERT_TRUE(append_qos(folder + "/R1", counts));
    std::string text;
    ASSERT_TRUE(read_file_bytes(folder + "/R1_Qos.TXT", text));
    EXPECT_EQ(text, qos_text(counts) + qos_text(counts));
}

TEST(PerfReport, MegabytesPerSecondFromKilobytes) {
    EXPECT_EQ(mbps_text(0), "0.00");
    EXPECT_EQ(mbps_text(1023), "0.99");
    EXPECT_EQ(mbps_text(1536), "1.50");
    EXPECT_EQ(mbps_text(10752), "10.50");
    EXPECT_EQ(mbps_text(2147483647), "2097151.99");
}

TEST(PerfReport, SummaryLines) {
    test::fresh_slot();
    WorkloadResult r;
    r.clear();
    r.last_cycle_line = "Last Cycle Data, Cycle3, Process:100%";
    r.transfer_mb = 4096;
    r.transfer_ms = 2050;
    r.max_kbps = 2100000;
    r.avg_kbps = 2000000;
    r.min_kbps = 512;
    r.max_iops = 16406;
    r.avg_iops = 15625;
    r.min_iops = 4;
    print_summary(0, r, "/tmp/x/R0000000007");
    std::vector<LogLine> lines = job_log_lines(0);
    std::vector<std::string> text;
    for (const LogLine& l : lines) text.push_back(l.text);
    EXPECT_EQ(text, (std::vector<std::string>{"Last Cycle Data, Cycle3, Process:100%", "Transfer Size(MB): 4096",
                                              "Transfer Time(ms): 2050", "Max MBps: 2050.78", "Avg MBps: 1953.12",
                                              "Min MBps: 0.50", "Max IOps: 16406", "Avg IOps: 15625", "Min IOps: 4",
                                              "Qos Distributed List"}));
    EXPECT_EQ(lines.back().value, "/tmp/x/R0000000007_Qos.TXT");
    EXPECT_EQ(lines[4].colour, colour::kCyan);
    EXPECT_EQ(lines[3].colour, colour::kWhite);
}

TEST(PerfReport, PositionInSectorsOnRawTargetsElseInBytes) {
    EXPECT_EQ(position_text(2048 * 512, 512, true), "CurrentLBA: 0x0000000000000800");
    EXPECT_EQ(position_text(((1ull << 32) + 5) * 4096, 4096, true), "CurrentLBA: 0x0000000100000005");
    EXPECT_EQ(position_text(0x123456789AULL, 512, false), "CurrentOffset: 0x000000123456789A");
}

}  // namespace
}  // namespace tb
