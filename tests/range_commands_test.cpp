// The range commands against a simulated machine of their own, watched at
// the disk: the pieces they issue, one request in flight at a time, disks
// with 4096-byte sectors, and a stop of the job in the middle of a search.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "disk/disk_discovery.h"
#include "disk/disk_record.h"
#include "disk/target_select.h"
#include "platform/sim/sim_block_storage.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_platform.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "tests/sim_test_helpers.h"
#include "tests/test_support.h"
#include "ui/job_log.h"
#include "tests/temp_dir.h"

namespace tb {
namespace {

constexpr const char* kDisks =
    "[disk1]\ntype = nvme\ncapacity = 64MiB\n"
    "[disk2]\ntype = nvme\ncapacity = 64MiB\nsector_size = 4096\n";

struct Seen {
    IoOp op;
    uint64_t offset;
    uint32_t length;
};

class RangeCommands : public ::testing::Test {
protected:
    void SetUp() override {
        test::fresh_slot();
        sim_folder = tb::test::make_temp_dir("tamblor-range");
        ASSERT_GE(sim::test::install_machine(sim_folder, kDisks), 2);
        sim::set_sim_io_hooks([this](uint32_t, SimIoHooks& h) {
            h.record = [this](uint32_t, const IoRequest& r) {
                std::lock_guard l(m);
                seen.push_back({r.op, r.offset, r.length});
                max_in_flight = std::max(max_in_flight, ++in_flight);
                if (stop_at_offset && r.op == IoOp::Read && r.offset >= stop_at_offset) set_cancel(0);
            };
            h.done = [this](const IoRequest&, int32_t) {
                std::lock_guard l(m);
                --in_flight;
            };
        });
    }
    void TearDown() override {
        sim::set_sim_io_hooks(nullptr);
        clear_current_target();
        set_disk_platform(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(sim_folder, ec);
    }

    void target(int disk) {
        const DiskTable& t = disk_table();
        for (int i = 0; i < t.count; ++i)
            if (t.records[i].disk_number == static_cast<uint32_t>(disk) && t.records[i].record_kind == kRecordDisk) {
                current_target() = t.records[i];
                return;
            }
        FAIL() << "no disk " << disk;
    }
    bool logged(const std::string& text) const {
        const std::vector<LogLine> l = job_log_lines(0);
        return std::any_of(l.begin(), l.end(), [&](const LogLine& x) { return x.text == text; });
    }
    bool logged_prefix(const std::string& text) const {
        const std::vector<LogLine> l = job_log_lines(0);
        return std::any_of(l.begin(), l.end(), [&](const LogLine& x) { return x.text.rfind(text, 0) == 0; });
    }
    // Offsets and lengths of the requests of one kind, in order.
    std::vector<std::pair<uint64_t, uint32_t>> of(IoOp op) {
        std::lock_guard l(m);
        std::vector<std::pair<uint64_t, uint32_t>> out;
        for (const Seen& s : seen)
            if (s.op == op) out.emplace_back(s.offset, s.length);
        return out;
    }
    void forget() {
        std::lock_guard l(m);
        seen.clear();
    }

    std::string sim_folder;
    std::mutex m;
    std::vector<Seen> seen;
    int in_flight = 0, max_in_flight = 0;
    uint64_t stop_at_offset = 0;
};

using Pieces = std::vector<std::pair<uint64_t, uint32_t>>;

TEST_F(RangeCommands, FillAndCompareGoInTheirPiecesOneRequestAtATime) {
    target(1);
    test::run("FullByPattern( LBA:16, RangeSector:600, Pattern:0x01020304 );");
    EXPECT_EQ(job_slot(0)->error_code, 0) << job_slot(0)->error_text;
    EXPECT_EQ(of(IoOp::Write), (Pieces{{16 * 512, 128 << 10}, {272 * 512, 128 << 10}, {528 * 512, 88 * 512}}));
    forget();
    test::run("Compare_WithPattern( LBA:16, RangeSector:600, ComparePattern:0x01020304, AccessKB:128 );");
    EXPECT_EQ(job_slot(0)->error_code, 0) << job_slot(0)->error_text;
    EXPECT_EQ(of(IoOp::Read), (Pieces{{16 * 512, 128 << 10}, {272 * 512, 128 << 10}, {528 * 512, 88 * 512}}));
    EXPECT_TRUE(logged("Compare Result : Compare Finish. No error exist. | 0"));
    forget();
    test::run("FindLBA_ByPattern( StartLBA:128000, FindPattern:0x01020304 );");
    EXPECT_EQ(of(IoOp::Read), (Pieces{{128000ull * 512, 1 << 20}, {130048ull * 512, 1024 * 512}}));
    EXPECT_EQ(max_in_flight, 1);
}

TEST_F(RangeCommands, FourKibibyteSectorsAreStampedAndComparedByTheirOwnLbas) {
    target(2);
    test::run("FullByPattern( LBA:10, RangeMB:1, Pattern:0x0A0B0C0D );");
    EXPECT_EQ(of(IoOp::Write).front(), std::make_pair(uint64_t{10 * 4096}, uint32_t{128 << 10}));
    test::run("Compare_WithPattern( LBA:10, RangeSector:256, ComparePattern:0x0A0B0C0D, AccessSector:16 );");
    EXPECT_EQ(job_slot(0)->error_code, 0) << job_slot(0)->error_text;
    EXPECT_EQ(of(IoOp::Read).front(), std::make_pair(uint64_t{10 * 4096}, uint32_t{16 * 4096}));
    // The stamp of a 4096-byte sector holds its own LBA, not a 512-byte one.
    test::run("FindLBA_ByPattern( StartLBA:0, FindPattern:0x00000064 );");  // LBA 100's stamp
    EXPECT_TRUE(logged("[1] Finound LBA : 0x64"));
    EXPECT_FALSE(logged_prefix("[2] Finound LBA"));
}

TEST_F(RangeCommands, AStoppedSearchTellsWhereItStopped) {
    target(1);
    stop_at_offset = 4 << 20;  // the job is stopped while the read at 4 MiB runs
    test::run("FindLBA_ByPattern( StartLBA:0, FindPattern:0x12345678 );");
    EXPECT_TRUE(logged("Cancel LBA : 0x2800"));  // that read (LBAs 0x2000..0x27FF) was still searched
    EXPECT_EQ(job_slot(0)->error_code, 0);
    EXPECT_EQ(of(IoOp::Read).size(), 5u);
}

TEST_F(RangeCommands, AStoppedCompareEndsWithoutAVerdict) {
    target(1);
    test::run("FullByPattern( LBA:0, RangeMB:8, Pattern:0 );");
    stop_at_offset = 2 << 20;
    test::run("Compare_WithPattern( LBA:0, RangeMB:8, ComparePattern:0, AccessKB:1024 );");
    EXPECT_TRUE(logged("---- Cancel Command ----"));
    EXPECT_TRUE(logged("CurrentLBA: 0x0000000000001800"));
    EXPECT_FALSE(logged("Compare Result : Compare Finish. No error exist. | 0"));
    EXPECT_EQ(job_slot(0)->error_code, 0);
}

}  // namespace
}  // namespace tb
