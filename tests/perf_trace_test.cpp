// The trace and streaming workloads: the client trace's analysis and slice
// map, its replay on a simulated disk, the enterprise mix and the video
// stream's request sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/format.h"
#include "disk/disk_discovery.h"
#include "disk/disk_record.h"
#include "disk/target_select.h"
#include "platform/sim/sim_block_storage.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_platform.h"
#include "script/job_slot.h"
#include "tests/sim_test_helpers.h"
#include "tests/test_support.h"
#include "common/file_handle.h"
#include "ui/job_log.h"
#include "workload/client_trace.h"
#include "workload/engine.h"
#include "workload/perf_commands.h"
#include "tests/temp_dir.h"

namespace tb {
namespace {

TEST(PerfTrace, TraceTouchingEverySliceOfA128GBTargetMapsOneToOne) {
    std::vector<TraceCommand> trace;
    for (uint32_t s = 0; s < kTraceSlices; ++s) trace.push_back({TraceOp::Write, uint64_t{s} * kTraceSliceSectors + 7, 8});
    const uint64_t range_mb = 128000000000ull >> 20;  // a 128 GB target
    SliceMap m = make_slice_map(hot_slices(trace), range_mb);
    EXPECT_EQ(m.hot, kTraceSlices);
    EXPECT_EQ(m.cold, 0u);
    EXPECT_EQ(m.scale, 0u);
    EXPECT_EQ(scale_lines(m, range_mb),
              (std::vector<std::string>{"Target Range (MB)  : 122070", "Cold Range Scale X : 0.00"}));
    for (uint64_t lba : std::initializer_list<uint64_t>{0, 7, 40959, 40960, 123456789, uint64_t{kTraceSlices} * kTraceSliceSectors - 1})
        EXPECT_EQ(m.map(lba), lba);
}

TEST(PerfTrace, ColdSlicesStretchToFillALargerTarget) {
    // Every other slice hot; the target has room for twice the trace.
    std::vector<bool> hot(kTraceSlices);
    for (size_t i = 0; i < hot.size(); i += 2) hot[i] = true;
    const uint64_t range_mb = 2ull * kTraceSlices * 20;
    SliceMap m = make_slice_map(hot, range_mb);
    EXPECT_EQ(m.hot, 3053u);
    EXPECT_EQ(m.cold, 3053u);
    EXPECT_EQ(m.scale, (m.target_slices - 3053) * 100 / 3053);  // 300: each cold slice takes three
    EXPECT_EQ(scale_lines(m, range_mb)[1], "Cold Range Scale X : 3.00");
    EXPECT_EQ(m.map(0), 0u);                                     // slice 0 hot
    EXPECT_EQ(m.map(kTraceSliceSectors), 1u * kTraceSliceSectors);  // slice 1 cold: after one hot
    EXPECT_EQ(m.map(2 * kTraceSliceSectors + 5), 4u * kTraceSliceSectors + 5);  // slice 2: 1 hot + 1 cold x3
    // The last slice still lies inside the target.
    EXPECT_LE(m.map(uint64_t{kTraceSlices} * kTraceSliceSectors - 1), m.target_slices * kTraceSliceSectors);
}

TEST(PerfTrace, AnalysisLines) {
    std::string text = "$write 100 8\r\n$write 50000 256\n$trims 0 2048\n$flush 0 0\nnot a command\n\n";
    std::vector<TraceCommand> t = parse_trace(text);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[1].lba, 50000u);
    EXPECT_EQ(t[1].sectors, 256u);
    TraceSummary s;
    for (const TraceCommand& c : t) add_to_summary(s, c);
    EXPECT_EQ(summary_lines(s, true), (std::vector<std::string>{
                                          "Total Commands     : 4",
                                          "Trim Commands(%)   : 1            | 25.00",
                                          "Write Commands(%)  : 2            | 50.00",
                                          "Flush Commands(%)  : 1            | 25.00",
                                          "Trim Size (GB)     : 0.00",
                                          "Write Size (GB)    : 0.00",
                                          "Max Write Sectors  : 256",
                                          "Max Trim Sectors   : 2048",
                                      }));
    std::vector<bool> hot = hot_slices(t);
    EXPECT_EQ(std::count(hot.begin(), hot.end(), true), 2);  // slices 0 and 1
}

// A simulated raw NVMe disk of its own, every request recorded.
class PerfTraceWorkloads : public ::testing::Test {
protected:
    void SetUp() override {
        folder = test::fresh_slot();
        sim_folder = tb::test::make_temp_dir("tamblor-trace");
        ASSERT_GE(sim::test::install_machine(sim_folder, "[disk1]\ntype = nvme\ncapacity = 1GiB\n"), 1);
        current_target() = disk_table().records[0];
        sim::set_sim_io_hooks([this](uint32_t, SimIoHooks& h) {
            h.record = [this](uint32_t, const IoRequest& r) {
                std::lock_guard l(m);
                reqs.push_back(r);
            };
        });
        set_workload_time_scale(10.0);
    }
    void TearDown() override {
        set_workload_time_scale(1.0);
        sim::set_sim_io_hooks(nullptr);
        clear_current_target();
        set_disk_platform(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(sim_folder, ec);
    }
    int32_t error_code() const { return job_slot(0)->error_code; }
    std::string error_text() const { return job_slot(0)->error_text; }
    bool logged(const std::string& text) const {
        auto l = job_log_lines(0);
        return std::any_of(l.begin(), l.end(), [&](const LogLine& x) { return x.text == text; });
    }

    std::string folder, sim_folder;
    std::mutex m;
    std::vector<IoRequest> reqs;
};

TEST_F(PerfTraceWorkloads, ClientRefusesARangeUnder64MBAndReportsAMissingTrace) {
    test::run("JEDEC219A_Client( RangeMB:32 );");
    EXPECT_EQ(error_code(), -19);
    EXPECT_NE(error_text().find("RangeLenMB must 0 or large than 64"), std::string::npos) << error_text();
    job_slot(0)->error_code = 0;
    test::run("JEDEC219A_Client( LBA:0, RangeSector:65536 );");  // 32 MB in sectors
    EXPECT_EQ(error_code(), -19);
    job_slot(0)->error_code = 0;
    test::run("JEDEC219A_Client( RangeMB:64 );");  // accepted; no trace in the work folder
    EXPECT_EQ(error_code(), -11);
    EXPECT_TRUE(logged("Load Master File fail, close AP then try again"));
    EXPECT_TRUE(reqs.empty());
}

TEST_F(PerfTraceWorkloads, ClientReplaysWritesTrimsAndFlushesAtTheirMappedPlaces) {
    // Slices 0, 1 and 3 hot; a 128 MB range holds 7 slices: the cold ones
    // are compressed to (7 - 3) * 100 / 6103 hundredths (0), so slice 3
    // lands right after slice 1.
    std::string trace = "$write 16 8\n$trims 40960 16\n$write 122888 16\n$flush 0 0\n$write 122880 8\n";
    uint32_t x = 12345;  // text without repeats, for the data taken from it
    for (int i = 0; i < 40000; ++i) {
        x = x * 1103515245u + 12345u;
        trace += static_cast<char>('a' + (x >> 16) % 26);
    }
    std::string file = test::write_file(folder, "trace.txt", trace);
    test::run("JEDEC219A_Client( File:\"" + file + "\", LBA:2048, RangeMB:128, LimitTxSizeMB:0, LimitTimeSec:60 );");
    ASSERT_EQ(error_code(), 0) << error_text();
    EXPECT_TRUE(logged("Cold Range Scale X : 0.00"));
    EXPECT_TRUE(logged("Target Range (MB)  : 128"));
    ASSERT_EQ(reqs.size(), 5u);
    const uint64_t base = 2048 * 512;
    EXPECT_EQ(reqs[0].op, IoOp::Write);
    EXPECT_EQ(reqs[0].offset, base + 16 * 512);
    EXPECT_EQ(reqs[0].length, 8u * 512);
    EXPECT_EQ(reqs[1].op, IoOp::Trim);
    EXPECT_EQ(reqs[1].offset, base + 40960ull * 512);
    EXPECT_EQ(reqs[1].length, 16u * 512);
    EXPECT_EQ(reqs[2].op, IoOp::Write);
    EXPECT_EQ(reqs[2].offset, base + (2 * 40960ull + 8) * 512);  // slice 2 (cold) takes no room
    EXPECT_EQ(reqs[3].op, IoOp::Flush);
    EXPECT_EQ(reqs[4].offset, base + 2 * 40960ull * 512);
    // The data written is the trace's own text, from a 4 KiB step within its first 32 KiB.
    std::string written(8 * 512, '\0');
    std::ifstream image(sim_folder + "/disk1.img", std::ios::binary);
    image.seekg(static_cast<std::streamoff>(base + 16 * 512));
    image.read(written.data(), static_cast<std::streamsize>(written.size()));
    size_t at = trace.find(written);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(at % 4096, 0u);
    EXPECT_LT(at, 32768u);
    EXPECT_TRUE(logged("Total Commands     : 5"));
}

TEST_F(PerfTraceWorkloads, EnterpriseMixHoldsItsRangeAndSizeCountsPerHundredRequests) {
    test::run("JEDEC219A_Enterprise( LBA:0, RangeLenMB:1000, WriteRatio:40, DataCompare:FALSE, LimitTxSizeMB:8 );");
    ASSERT_EQ(error_code(), 0) << error_text();
    const uint64_t n = (1000ull << 20) / 512;
    ASSERT_GE(reqs.size(), 400u);
    for (size_t w = 0; w + 100 <= reqs.size(); w += 100) {
        int a = 0, b = 0, c = 0, writes = 0, k4 = 0, k64 = 0, small = 0;
        for (size_t i = w; i < w + 100; ++i) {
            uint64_t sector = reqs[i].offset / 512;
            (sector < n * 5 / 100 ? a : sector < n * 20 / 100 ? b : c) += 1;
            EXPECT_LE(sector + reqs[i].length / 512, sector < n * 5 / 100 ? n * 5 / 100 : sector < n * 20 / 100 ? n * 20 / 100 : n);
            writes += reqs[i].op == IoOp::Write;
            k4 += reqs[i].length == 4096;
            k64 += reqs[i].length == 65536;
            small += reqs[i].length == 512;
        }
        EXPECT_EQ(a, 50);
        EXPECT_EQ(b, 30);
        EXPECT_EQ(c, 20);
        EXPECT_EQ(writes, 40);
        EXPECT_EQ(k4, 67);
        EXPECT_EQ(k64, 3);
        EXPECT_EQ(small, 4);
    }
    EXPECT_TRUE(logged(fmt("Write Commands: %d", std::count_if(reqs.begin(), reqs.end(), [](const IoRequest& r) {
                               return r.op == IoOp::Write;
                           }))));
}

TEST(PerfTrace, EnterpriseDistributionTable) {
    std::array<std::array<uint64_t, 12>, 3> counts{};
    counts[0][7] = 50;
    counts[1][7] = 30;
    counts[2][11] = 20;
    std::vector<std::string> lines = enterprise_distribution_lines(counts);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].substr(0, 23), std::string(20, ' ') + " | ");
    EXPECT_NE(lines[0].find("                 0.5K | "), std::string::npos);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 20), "             [Total]");
    EXPECT_EQ(lines[1].rfind(" [RangeA LBA5%] : ", 0), 0u);
    EXPECT_NE(lines[1].find("          50 (50.0%) | "), std::string::npos);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 21), "          50 (50.0%) ");
    EXPECT_EQ(lines[4].rfind("[Total]: ", 0), 0u);
    EXPECT_EQ(lines[4].substr(lines[4].size() - 22), "         100 (100.0%) ");
}

TEST_F(PerfTraceWorkloads, VideoStreamInterleavesFrameHeadsWithFrames) {
    test::run("Performance_VideoStream( LBA:0, RangeLenMB:100, AccessKB:1024, WritePattern:0x01020304, "
              "FrameHead:TRUE, LimitCycle:1, LimitTimeSec:0, FramePerDot:20 );");
    ASSERT_EQ(error_code(), 0) << error_text();
    ASSERT_GE(reqs.size(), 18u);
    const uint64_t mib = 1u << 20;
    struct Expect {
        IoOp op;
        uint64_t offset;
        uint32_t length;
    } first[] = {
        {IoOp::Write, 5 * mib, 1u << 20},
        {IoOp::Write, 0, 512},       {IoOp::Read, 0, 512},        // head 0: write, read
        {IoOp::Read, mib, 512},      {IoOp::Write, mib, 512},     // head 1: read, write
        {IoOp::Write, 2 * mib, 512}, {IoOp::Read, 2 * mib, 512},  // head 2
        {IoOp::Read, 512, 512},      {IoOp::Write, 512, 512},     // head 0, next sector
        {IoOp::Write, 6 * mib, 1u << 20},
    };
    for (size_t i = 0; i < std::size(first); ++i) {
        EXPECT_EQ(reqs[i].op, first[i].op) << i;
        EXPECT_EQ(reqs[i].offset, first[i].offset) << i;
        EXPECT_EQ(reqs[i].length, first[i].length) << i;
    }
    // One pass over the 100 MiB data area: 100 frames, then the limit.
    size_t frames = std::count_if(reqs.begin(), reqs.end(), [](const IoRequest& r) { return r.length == (1u << 20); });
    EXPECT_EQ(frames, 100u);
    EXPECT_TRUE(logged("Last Cycle Data, Cycle1, Process:100%"));
    EXPECT_TRUE(logged("Transfer Size(MB): 100"));

    job_slot(0)->error_code = 0;
    test::run("Performance_VideoStream( LBA:0, RangeLenMB:99 );");
    EXPECT_EQ(error_code(), -2);
    EXPECT_NE(error_text().find("Stream Size must > 100 MB"), std::string::npos);
}

}  // namespace
}  // namespace tb
