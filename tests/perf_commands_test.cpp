// The performance commands as scripts call them, on a simulated machine of
// their own: keys and checks, target selection, the requests that reach the
// disk's backing file, the summary lines and files, injected failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "disk/disk_discovery.h"
#include "disk/disk_record.h"
#include "disk/target_select.h"
#include "platform/sim/sim_block_storage.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "tests/sim_test_helpers.h"
#include "tests/test_support.h"
#include "common/file_handle.h"
#include "ui/job_log.h"
#include "workload/engine.h"
#include "workload/lba_target.h"
#include "tests/temp_dir.h"

namespace tb {
namespace {

// Disk 1: raw NVMe, 512-byte sectors. Disk 2: raw NVMe, 4096-byte sectors.
// Disk 3: SATA with a volume (file-system target; its volume D: is a partition target).
constexpr const char* kDisks =
    "[disk1]\ntype = nvme\ncapacity = 64MiB\n"
    "[disk2]\ntype = nvme\ncapacity = 64MiB\nsector_size = 4096\n"
    "[disk3]\ntype = sata\ncapacity = 128MiB\nvolumes = D:96MiB:80MiB\n";

struct Req {
    IoOp op;
    uint64_t offset;
    uint32_t length;
};

class PerfCommands : public ::testing::Test {
protected:
    void SetUp() override {
        folder = test::fresh_slot();
        sim_folder = tb::test::make_temp_dir("tamblor-perf");
        ASSERT_GE(sim::test::install_machine(sim_folder, kDisks), 3);
        sim::set_sim_io_hooks([this](uint32_t disk, SimIoHooks& h) {
            h.record = [this, disk](uint32_t, const IoRequest& r) {
                std::lock_guard l(m);
                requests[disk].push_back({r.op, r.offset, r.length});
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

    // Makes the record with this device path the job's target.
    void target(const std::string& path) {
        const DiskTable& t = disk_table();
        for (int i = 0; i < t.count; ++i)
            if (t.records[i].device_path == path) {
                current_target() = t.records[i];
                return;
            }
        FAIL() << "no " << path;
    }
    sim::SimMachine& machine() { return *sim::current_sim_machine(); }
    int32_t error_code() const { return job_slot(0)->error_code; }
    std::string error_text() const { return job_slot(0)->error_text; }
    std::vector<LogLine> lines() const { return job_log_lines(0); }
    bool logged(const std::string& text) const {
        auto l = lines();
        return std::any_of(l.begin(), l.end(), [&](const LogLine& x) { return x.text == text; });
    }
    std::vector<Req> of(uint32_t disk) {
        std::lock_guard l(m);
        return requests[disk];
    }

    std::string folder, sim_folder;
    std::mutex m;
    std::map<uint32_t, std::vector<Req>> requests;
};

TEST_F(PerfCommands, InjectedReadErrorGivesMinus3AndThePositionInSectors) {
    target("\\\\.\\PHYSICALDRIVE1");
    sim::NvmeFault f;
    f.io_queue = true;
    f.opcode = 0x02;  // Read
    ASSERT_TRUE(machine().inject(1, f));
    test::run("Performance_SeqRead( LBA:2048, RangeLenMB:8, AccessKB:128, QD:1, LimitCycle:1 );");
    EXPECT_EQ(error_code(), -3);
    EXPECT_NE(error_text().find("Read IO Fail"), std::string::npos) << error_text();
    EXPECT_TRUE(logged("CurrentLBA: 0x0000000000000800"));
    EXPECT_TRUE(logged("Last Cycle Data, Cycle1, Process:1%"));  // the summary still comes: 128 KiB of 8 MiB
}

TEST_F(PerfCommands, InjectedWriteErrorOnAPartitionlessSataDiskGivesMinus4) {
    // A SATA disk's LBA path answers to its ATA faults (WRITE DMA EXT).
    const DiskTable& t = disk_table();
    DiskRecord sata;
    for (int i = 0; i < t.count; ++i)
        if (t.records[i].disk_number == 3 && t.records[i].record_kind == kRecordDisk) sata = t.records[i];
    sata.raw_flag = 1;  // as if its partition were gone
    current_target() = sata;
    sim::AtaFault f;
    f.command = 0x35;
    f.count = 1;
    ASSERT_TRUE(machine().inject(3, f));
    test::run("Performance_RandWrite( LBA:0, RangeLenMB:16, AccessKB:4, QD:1, WritePattern:0, LimitTxSizeMB:1 );");
    EXPECT_EQ(error_code(), -4);
    auto l = lines();
    EXPECT_TRUE(std::any_of(l.begin(), l.end(), [](const LogLine& x) { return x.text.rfind("CurrentLBA: 0x", 0) == 0; }));
}

TEST_F(PerfCommands, KeyChecksRefuseWithMinus2) {
    target("\\\\.\\PHYSICALDRIVE2");  // 4096-byte sectors
    test::run("Performance_SeqRead( LBA:0, RangeLenMB:8, AccessKB:3 );");
    EXPECT_EQ(error_code(), -2);
    EXPECT_NE(error_text().find("AccessKB must base on SectorSize"), std::string::npos) << error_text();

    struct Case {
        const char* statement;
    } cases[] = {
        {"Performance_MixReadWrite( WriteRatio:101 );"},
        {"Performance_MixReadWrite( WriteRatio:10, RandRatio:101 );"},
        {"Performance_RandRead( LBA:0, RangeLenMB:8, AccessKB:4, QD:4, LimitTxSizeMB:1, LimitTimeSec:0, DotPerSec:0 );"},
        {"Performance_RandRead( LBA:0, RangeLenMB:8, AccessKB:4, QD:4, LimitTxSizeMB:1, LimitTimeSec:0, DotPerSec:1001 );"},
        {"Performance_SeqRead( LBA:0, RangeLenMB:8, AccessKB:0 );"},
        {"Performance_SeqRead( LBA:0, RangeLenMB:8, AccessKB:128, QD:0 );"},
        {"Performance_SeqRead( LBA:0, RangeLenMB:8, AccessSector:1 );"},  // 4 KiB: fine
    };
    for (const Case& c : cases) {
        job_slot(0)->error_code = 0;
        test::run(c.statement);
        bool last = &c == &cases[std::size(cases) - 1];
        EXPECT_EQ(error_code(), last ? 0 : -2) << c.statement;
    }
    EXPECT_TRUE(of(2).size() > 0 && of(2).front().length == 4096);
}

TEST_F(PerfCommands, SeqWriteReachesTheDisksBackingFileOnceForEveryOffset) {
    target("\\\\.\\PHYSICALDRIVE1");
    test::run("Performance_SeqWrite( LBA:4096, RangeLenMB:16, AccessKB:64, QD:32, WritePattern:0x55AA33CC, "
              "LimitCycle:1 );");
    ASSERT_EQ(error_code(), 0) << error_text();
    auto reqs = of(1);
    ASSERT_EQ(reqs.size(), 256u);
    std::set<uint64_t> offsets;
    for (const Req& r : reqs) {
        EXPECT_EQ(r.op, IoOp::Write);
        EXPECT_EQ(r.length, 65536u);
        offsets.insert(r.offset);
    }
    EXPECT_EQ(offsets.size(), 256u);
    EXPECT_EQ(*offsets.begin(), 4096u * 512);
    EXPECT_EQ(*offsets.rbegin(), 4096u * 512 + (16u << 20) - 65536);
    std::ifstream image(sim_folder + "/disk1.img", std::ios::binary);
    auto at = [&image](uint64_t offset) {
        std::string four(4, '?');
        image.seekg(static_cast<std::streamoff>(offset));
        image.read(four.data(), 4);
        return four;
    };
    EXPECT_EQ(at(4096 * 512), std::string("\x55\xAA\x33\xCC", 4));
    EXPECT_EQ(at(4096 * 512 + (16u << 20) - 4), std::string("\x55\xAA\x33\xCC", 4));
    EXPECT_EQ(at(4096 * 512 - 4), std::string(4, '\0'));
}

TEST_F(PerfCommands, SummaryLinesFilesAndChartLine) {
    target("\\\\.\\PHYSICALDRIVE1");
    test::run("Performance_SeqRead( LBA:0, RangeLenMB:8, AccessKB:128, QD:4, LimitCycle:1 );");
    ASSERT_EQ(error_code(), 0) << error_text();
    auto l = lines();
    auto find = [&](const std::string& prefix) {
        return std::find_if(l.begin(), l.end(), [&](const LogLine& x) { return x.text.rfind(prefix, 0) == 0; });
    };
    auto first = find("Last Cycle Data, Cycle1, Process:100%");
    ASSERT_NE(first, l.end());
    const char* order[] = {"Transfer Size(MB): 8", "Transfer Time(ms): ", "Max MBps: ", "Avg MBps: ", "Min MBps: ",
                           "Max IOps: ",          "Avg IOps: ",          "Min IOps: ", "Qos Distributed List"};
    auto at = first;
    for (const char* o : order) {
        ++at;
        ASSERT_NE(at, l.end());
        EXPECT_EQ(at->text.rfind(o, 0), 0u) << "expected " << o << ", got " << at->text;
    }
    EXPECT_EQ(find("Avg MBps: ")->colour, colour::kCyan);
    EXPECT_EQ(find("Avg IOps: ")->colour, colour::kCyan);
    const std::string qos = find("Qos Distributed List")->value;
    ASSERT_EQ(qos.size() > 8 ? qos.substr(qos.size() - 8) : "", "_Qos.TXT");
    const std::string base = qos.substr(0, qos.size() - 8);
    EXPECT_TRUE(file_exists(qos));
    EXPECT_TRUE(file_exists(base + ".CSV"));
    // The chart line became the image, linked to the CSV.
    auto chart = std::find_if(l.begin(), l.end(), [](const LogLine& x) { return x.kind == LineKind::Image; });
    ASSERT_NE(chart, l.end());
    EXPECT_EQ(chart->text, base + ".png");
    EXPECT_EQ(chart->value, base + ".CSV");
    EXPECT_EQ(chart->font_size, 150);
    std::string png;
    ASSERT_TRUE(read_file_bytes(base + ".png", png));
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
    // The rates of the summary agree with the MB/s formula of its KB/s.
    std::string avg = find("Avg MBps: ")->text.substr(10);
    EXPECT_NE(avg, "0.00");
    EXPECT_EQ(avg.find('.'), avg.size() - 3);
}

TEST_F(PerfCommands, RandReadOfRangeZeroCoversFromTheStartToTheEndOfTheDisk) {
    target("\\\\.\\PHYSICALDRIVE1");
    test::run("Performance_RandRead( LBA:8192, RangeLenMB:0, AccessKB:4, QD:8 );");
    ASSERT_EQ(error_code(), 0) << error_text();
    auto reqs = of(1);
    ASSERT_EQ(reqs.size(), (60u << 20) / 4096);  // "CYCLE": one range of 4 KiB requests
    uint64_t lo = UINT64_MAX, hi = 0;
    for (const Req& r : reqs) {
        lo = std::min(lo, r.offset);
        hi = std::max(hi, r.offset);
        EXPECT_EQ(r.offset % 4096, 0u);
    }
    EXPECT_GE(lo, 8192u * 512);
    EXPECT_LT(lo, 8192u * 512 + (1u << 20));
    EXPECT_LE(hi, (64u << 20) - 4096);
    EXPECT_GT(hi, (63u << 20));
}

TEST_F(PerfCommands, WorkerKeyReadsTheRangeOncePerStream) {
    target("\\\\.\\PHYSICALDRIVE1");
    test::run("Performance_SeqRead( LBA:0, RangeLenMB:4, AccessKB:128, Worker:4, LimitCycle:1 );");
    ASSERT_EQ(error_code(), 0) << error_text();
    std::map<uint64_t, int> times;
    for (const Req& r : of(1)) ++times[r.offset];
    EXPECT_EQ(times.size(), 32u);
    for (auto& [offset, n] : times) EXPECT_EQ(n, 4) << offset;
    EXPECT_TRUE(logged("Last Cycle Data, Cycle1, Process:100%"));
}

TEST_F(PerfCommands, PartitionTargetsReadButRefuseWrites) {
    target("\\\\.\\D:");
    test::run("Performance_SeqWrite( LBA:0, RangeLenMB:8, AccessKB:128, QD:4 );");
    EXPECT_EQ(error_code(), -22);
    EXPECT_TRUE(of(3).empty());
    job_slot(0)->error_code = 0;
    test::run("Performance_MixReadWrite( WriteRatio:0, RandRatio:0, LBA:0, RangeLenMB:2, AccessKB:64, QD:2, "
              "WritePattern:0, LimitTxSizeMB:2 );");
    ASSERT_EQ(error_code(), 0) << error_text();
    auto reqs = of(3);
    ASSERT_EQ(reqs.size(), 32u);
    for (const Req& r : reqs) {
        EXPECT_EQ(r.op, IoOp::Read);
        EXPECT_GE(r.offset, 1u << 20) << "the partition starts 1 MiB into the disk";
        EXPECT_LT(r.offset, (1u << 20) + (2u << 20));
    }
    // A failure there is reported as a byte offset inside the partition.
    sim::AtaFault f;
    f.command = 0x25;
    ASSERT_TRUE(machine().inject(3, f));
    test::run("Performance_SeqRead( LBA:16, RangeLenMB:2, AccessKB:64, QD:1 );");
    EXPECT_EQ(error_code(), -3);
    EXPECT_TRUE(logged("CurrentOffset: 0x0000000000002000"));
}

TEST_F(PerfCommands, FileSystemTargetRunsOnATestFileThatIsRemovedAfterwards) {
    target("\\\\.\\PHYSICALDRIVE3");
    ASSERT_EQ(target_mode(current_target()), TargetMode::FileSystem);
    test::run("Performance_SeqWrite( LBA:0, RangeLenMB:4, AccessKB:128, QD:4, WritePattern:0x11223344 );");
    ASSERT_EQ(error_code(), 0) << error_text();
    EXPECT_TRUE(logged("Wait for Parpare Test File..."));
    EXPECT_TRUE(logged("Last Cycle Data, Cycle1, Process:100%"));
    EXPECT_TRUE(logged("Transfer Size(MB): 4"));
    std::string root = volume_root(current_target());
    ASSERT_FALSE(root.empty());
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(root)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 0u) << "the test file is deleted after the command";
    // A range of 0 takes the volume's free space (80 MiB) less a 64 MiB margin.
    test::run("Performance_SeqWrite( LBA:0, RangeLenMB:0, AccessKB:128, QD:4, WritePattern:0 );");
    ASSERT_EQ(error_code(), 0) << error_text();
    EXPECT_TRUE(logged("Transfer Size(MB): 16"));
}

}  // namespace
}  // namespace tb
