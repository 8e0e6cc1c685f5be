// The LBA I/O engine on memory targets and simulated-disk stores: worker
// planning, the exact ratios per 100 requests, the shared cursor, cycles
// that are not a whole number of requests, limits, stops, failures and the
// latency histogram.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/sim/backing_store.h"
#include "common/file_handle.h"
#include "workload/engine.h"
#include "workload/report.h"
#include "workload/pattern.h"
#include "platform/sim/sim_target.h"
#include "workload/temperature.h"
#include "disk/disk_record.h"
#include "tests/temp_dir.h"

namespace tb {
namespace {

struct Recorded {
    uint32_t queue;
    IoOp op;
    uint64_t offset;
    uint32_t length;
    uint64_t tag;
};

// Every request a target saw, in submission order.
struct Recorder {
    std::mutex m;
    std::vector<Recorded> all;
    SimIoHooks hooks() {
        SimIoHooks h;
        h.record = [this](uint32_t q, const IoRequest& r) {
            std::lock_guard l(m);
            all.push_back({q, r.op, r.offset, r.length, r.tag});
        };
        return h;
    }
};

class WorkloadEngine : public ::testing::Test {
protected:
    void SetUp() override { set_workload_time_scale(1.0); }
    void TearDown() override { set_workload_time_scale(1.0); }

    // A run on a target the test made; `cancel` is never set unless the test sets it.
    PerfParams params(std::unique_ptr<IoTarget> target) {
        PerfParams p;
        p.cancel = &cancel;
        auto holder = std::make_shared<std::unique_ptr<IoTarget>>(std::move(target));
        p.open = [holder]() { return std::move(*holder); };
        p.on_status = [this](const std::string& s) {
            std::lock_guard l(status_lock);
            statuses.push_back(s);
        };
        p.processors = 2;
        p.rate = 10;
        return p;
    }
    std::vector<std::string> status_lines() {
        std::lock_guard l(status_lock);
        return statuses;
    }

    std::atomic<bool> cancel{false};
    std::mutex status_lock;
    std::vector<std::string> statuses;
};

TEST_F(WorkloadEngine, WorkersAreNoMoreThanProcessorsAndHoldAtMost128Requests) {
    EXPECT_EQ(plan_workers(1, 8), (std::vector<uint32_t>{1}));
    EXPECT_EQ(plan_workers(300, 2), (std::vector<uint32_t>{128, 128}));
    EXPECT_EQ(plan_workers(33, 2), (std::vector<uint32_t>{17, 16}));
    EXPECT_EQ(plan_workers(3, 8), (std::vector<uint32_t>{1, 1, 1}));
    EXPECT_TRUE(plan_workers(0, 2).empty());

    // The run really starts that many queues of those depths.
    Recorder rec;
    auto target = make_memory_target(1ull << 30, 512, rec.hooks());
    PerfParams p = params(std::move(target));
    p.queue_depth = 1;
    p.processors = 8;
    p.random_ratio = 100;
    p.range_mb = 1024;
    p.limit_mb = 1;
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    std::set<uint32_t> queues;
    for (const Recorded& x : rec.all) queues.insert(x.queue);
    EXPECT_EQ(queues.size(), 1u);
    EXPECT_EQ(rec.all.size(), 256u);  // 1 MiB of 4 KiB requests
}

// Splits a thread's requests into windows of 100 and counts in each.
template <class Pred>
std::vector<int> per_hundred(const std::vector<Recorded>& reqs, Pred pred) {
    std::vector<int> out;
    for (size_t w = 0; w + 100 <= reqs.size(); w += 100)
        out.push_back(static_cast<int>(std::count_if(reqs.begin() + w, reqs.begin() + w + 100, pred)));
    return out;
}

TEST_F(WorkloadEngine, WriteRatioHoldsExactlyInEveryHundredRequestsOfAThread) {
    Recorder rec;
    SimIoHooks hooks = rec.hooks();
    hooks.latency_us = [](const IoRequest&) -> int64_t { return 50; };  // both threads get their share
    PerfParams p = params(make_memory_target(64ull << 30, 512, hooks));
    p.write_ratio = 37;
    p.random_ratio = 100;
    p.range_mb = 64 * 1024;
    p.queue_depth = 8;
    p.limit_mb = 16;  // 4096 requests over two threads
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    std::map<uint32_t, std::vector<Recorded>> by_queue;
    for (const Recorded& x : rec.all) by_queue[x.queue].push_back(x);
    ASSERT_EQ(by_queue.size(), 2u);
    for (auto& [q, reqs] : by_queue) {
        auto writes = per_hundred(reqs, [](const Recorded& x) { return x.op == IoOp::Write; });
        ASSERT_GE(writes.size(), 5u);
        for (int w : writes) EXPECT_EQ(w, 37) << "queue " << q;
    }
}

TEST_F(WorkloadEngine, RandomRatioHoldsExactlyInEveryHundredRequestsOfAThread) {
    // In per-stream mode every slot keeps its own cursor, so a request is
    // sequential exactly when it starts where its slot's last sequential one
    // ended (the range is large enough that a random hit there is unlikely).
    Recorder rec;
    SimIoHooks hooks = rec.hooks();
    hooks.latency_us = [](const IoRequest&) -> int64_t { return 50; };  // both threads get their share
    PerfParams p = params(make_memory_target(64ull << 30, 512, hooks));
    p.write_ratio = 30;
    p.random_ratio = 40;
    p.range_mb = 64 * 1024;
    p.queue_depth = 4;
    p.per_stream = true;
    p.limit_mb = 8;  // x 4 streams: 8192 requests
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    std::map<uint32_t, std::vector<Recorded>> by_queue;
    for (const Recorded& x : rec.all) by_queue[x.queue].push_back(x);
    ASSERT_EQ(by_queue.size(), 2u);
    for (auto& [q, reqs] : by_queue) {
        std::map<uint64_t, uint64_t> next;  // slot -> where its cursor stands
        std::vector<Recorded> marked = reqs;
        for (Recorded& x : marked) {
            uint64_t slot = x.tag & 0xFF;
            auto it = next.try_emplace(slot, 0).first;
            bool sequential = x.offset == it->second;
            if (sequential) it->second += x.length;
            x.length = sequential ? 0 : 1;  // reuse: 1 marks a random request
        }
        auto randoms = per_hundred(marked, [](const Recorded& x) { return x.length == 1; });
        auto writes = per_hundred(reqs, [](const Recorded& x) { return x.op == IoOp::Write; });
        ASSERT_GE(randoms.size(), 5u);
        for (int n : randoms) EXPECT_EQ(n, 40) << "queue " << q;
        for (int n : writes) EXPECT_EQ(n, 30) << "queue " << q;
    }
}

// Offsets handed out by one cycle of a sequential run: each once, the whole
// range, nothing outside it.
void expect_covers_once(const std::vector<Recorded>& reqs, uint64_t start, uint64_t end, uint32_t size) {
    std::vector<uint64_t> offsets;
    for (const Recorded& x : reqs) offsets.push_back(x.offset);
    std::sort(offsets.begin(), offsets.end());
    ASSERT_TRUE(std::adjacent_find(offsets.begin(), offsets.end()) == offsets.end()) << "an offset came twice";
    ASSERT_FALSE(offsets.empty());
    EXPECT_EQ(offsets.front(), start);
    for (size_t i = 1; i < offsets.size(); ++i) ASSERT_EQ(offsets[i] - offsets[i - 1], size) << "a hole before " << offsets[i];
    EXPECT_LE(offsets.back() + size, end);
    EXPECT_GT(offsets.back() + 2 * size, end);
}

TEST_F(WorkloadEngine, SharedCursorNeverHandsOutAnOffsetTwiceOnASimulatedDisk) {
    std::string dir = tb::test::make_temp_dir("tamblor-wl");
    std::string error;
    std::shared_ptr<sim::BackingStore> store = sim::BackingStore::open(dir + "/disk.img", 64ull << 20, &error);
    ASSERT_TRUE(store) << error;
    sim::BackingStore& medium = *store;
    Recorder rec;
    PerfParams p = params(make_store_target(store, 512, rec.hooks()));
    p.write_ratio = 100;
    p.random_ratio = 0;
    p.start_lba = 2048;
    p.range_mb = 16;
    p.request_size = 64 * 1024;
    p.queue_depth = 32;
    p.pattern = 0x55AA33CC;
    p.limit_mb = 16;
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    EXPECT_EQ(r.final_state, RunState::LimitReached);
    const uint64_t start = 2048 * 512;
    expect_covers_once(rec.all, start, start + (16u << 20), 64 * 1024);
    EXPECT_EQ(rec.all.size(), 256u);
    // Every write reached the medium with the pattern, most significant byte first.
    std::vector<uint8_t> head(8), before(8), after(8);
    ASSERT_TRUE(medium.read(start, head));
    ASSERT_TRUE(medium.read(start - 8, before));
    ASSERT_TRUE(medium.read(start + (16u << 20), after));
    EXPECT_EQ(head, (std::vector<uint8_t>{0x55, 0xAA, 0x33, 0xCC, 0x55, 0xAA, 0x33, 0xCC}));
    EXPECT_EQ(before, std::vector<uint8_t>(8, 0));
    EXPECT_EQ(after, std::vector<uint8_t>(8, 0));
    EXPECT_EQ(medium.stats().bytes_written, 16u << 20);
}

TEST_F(WorkloadEngine, SequentialCycleThatIsNotAWholeNumberOfRequestsEndsWhenTheCursorPassesTheEnd) {
    set_workload_time_scale(10.0);
    Recorder rec;
    PerfParams p = params(make_memory_target(64ull << 20, 512, rec.hooks()));
    p.range_mb = 1;
    p.request_size = 96 * 1024;  // 10 2/3 requests per cycle
    p.queue_depth = 4;
    p.limit_sec = 3;
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    // Cycles complete one after another instead of hanging until the time limit.
    EXPECT_GE(r.cycles, 3u);
    EXPECT_EQ(r.final_state, RunState::TimeUp);
    // The first cycle: requests at 0, 96K, ..., up to the last start that fits.
    std::vector<Recorded> first(rec.all.begin(), rec.all.begin() + 10);
    expect_covers_once(first, 0, 1u << 20, 96 * 1024);
    EXPECT_EQ(rec.all[10].offset, 0u) << "the second cycle starts over";
}

TEST_F(WorkloadEngine, SequentialCycleWithASizeSpreadEndsInEveryStream) {
    set_workload_time_scale(10.0);
    Recorder rec;
    PerfParams p = params(make_memory_target(64ull << 20, 512, rec.hooks()));
    p.range_mb = 1;
    p.request_size = 64 * 1024;
    p.spread = 60 * 1024;  // 4 KiB .. 64 KiB
    p.queue_depth = 3;
    p.per_stream = true;
    p.limit_sec = 3;
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    EXPECT_GE(r.cycles, 2u);
    for (const Recorded& x : rec.all) {
        EXPECT_EQ(x.length % 512, 0u);
        EXPECT_GE(x.length, 4096u);
        EXPECT_LE(x.length, 64u * 1024);
        EXPECT_LE(x.offset, (1u << 20) - 64 * 1024) << "past the end offset";
    }
}

TEST_F(WorkloadEngine, TimeLimitEndsAtTheFirstWholeSecondAndEveryCycleGoesToTheCsv) {
    // Two seconds of real time: enough for several cycles even on a busy
    // machine or under wine.
    set_workload_time_scale(5.0);
    std::string dir = tb::test::make_temp_dir("tamblor-wl");
    PerfParams p = params(make_memory_target(64ull << 20, 512));
    p.range_mb = 8;
    p.request_size = 4096;
    p.queue_depth = 1;
    p.limit_sec = 10;
    p.rate = 4;
    p.output_base = dir + "/R0000000001";
    // About 0.5 ms per request: a cycle of 2048 requests takes ~1 s (of workload time).
    SimIoHooks slow;
    slow.latency_us = [](const IoRequest&) -> int64_t { return 100; };
    p.open = [t = std::make_shared<std::unique_ptr<IoTarget>>(make_memory_target(64ull << 20, 512, slow))]() {
        return std::move(*t);
    };
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    EXPECT_EQ(r.final_state, RunState::TimeUp);
    EXPECT_GE(r.elapsed_ms, 10000u);
    EXPECT_LT(r.elapsed_ms, 11500u);
    std::string csv;
    ASSERT_TRUE(read_file_bytes(p.output_base + ".CSV", csv));
    ASSERT_EQ(csv.rfind(kCsvHeader, 0), 0u);
    // Cycle times start over at each cycle, so job time minus cycle time is
    // the cycle's start: the same on every line of a cycle and new on the
    // first line of the next. The CSV holds every cycle, short ones too.
    uint32_t cycles = 0;
    int64_t last_cycle_start = -1, last_job_ms = -1;
    size_t at = std::string(kCsvHeader).size();
    while (at < csv.size()) {
        size_t e = csv.find("\r\n", at);
        ASSERT_NE(e, std::string::npos);
        std::vector<int64_t> f;
        for (size_t s = at; s < e;) {
            size_t c = csv.find(',', s);
            if (c == std::string::npos || c > e) c = e;
            f.push_back(std::stoll(csv.substr(s, c - s)));
            s = c + 1;
        }
        ASSERT_EQ(f.size(), 14u);
        const int64_t cycle_start = f[3] - f[4];
        if (cycle_start != last_cycle_start) ++cycles;
        EXPECT_GE(cycle_start, last_cycle_start);
        EXPECT_GT(f[3], last_job_ms);
        EXPECT_LT(f[3], 11500);
        last_cycle_start = cycle_start;
        last_job_ms = f[3];
        at = e + 2;
    }
    EXPECT_GE(r.cycles, 2u);
    EXPECT_EQ(cycles, r.cycles);
}

TEST_F(WorkloadEngine, StatusLineShowsTimeCycleAndProgressAndInPerStreamModeTheStreams) {
    set_workload_time_scale(10.0);
    SimIoHooks slow;
    slow.latency_us = [](const IoRequest&) -> int64_t { return 100; };
    for (bool per_stream : {false, true}) {
        statuses.clear();
        PerfParams p = params(make_memory_target(1ull << 30, 512, slow));
        p.range_mb = 1024;
        p.queue_depth = 3;
        p.per_stream = per_stream;
        p.limit_sec = 2;
        WorkloadResult r;
        ASSERT_EQ(run_performance(p, r), 1);
        auto lines = status_lines();
        const std::regex form(per_stream ? R"(^[-/\\] 00:00:0[0-2]   \|   Cycle1, Process:\d+% by 3$)"
                                         : R"(^[-/\\] 00:00:0[0-2]   \|   Cycle1, Process:\d+%$)");
        EXPECT_GE(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_match(l, form); }), 2)
            << (lines.empty() ? "" : lines.front());
        EXPECT_EQ(lines.back(), "");
    }
}

bool fake_temperatures(const DiskRecord&, Temperatures& t) {
    t.composite = 308;
    t.sensors[0] = 301;
    t.sensors[7] = 309;
    return true;
}

TEST_F(WorkloadEngine, TemperaturesAreReadAtTheFirstPointAndEveryIntervalAfter) {
    set_workload_time_scale(10.0);
    set_temperature_reader(fake_temperatures);
    std::string dir = tb::test::make_temp_dir("tamblor-wl");
    SimIoHooks slow;
    slow.latency_us = [](const IoRequest&) -> int64_t { return 200; };
    PerfParams p = params(make_memory_target(1ull << 30, 512, slow));
    DiskRecord disk;
    p.disk = &disk;
    p.random_ratio = 100;
    p.range_mb = 1024;
    p.queue_depth = 1;
    p.limit_sec = 7;
    p.rate = 4;
    p.temperature_interval = 3;
    p.output_base = dir + "/R1";
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    set_temperature_reader(nullptr);
    std::string csv;
    ASSERT_TRUE(read_file_bytes(p.output_base + ".CSV", csv));
    size_t at = std::string(kCsvHeader).size();
    int with = 0, without = 0;
    bool first = true;
    while (at < csv.size()) {
        size_t e = csv.find("\r\n", at);
        std::string line = csv.substr(at, e - at);
        at = e + 2;
        // JobTimeMs is the 4th field; the temperatures are the last nine.
        size_t c1 = line.find(','), c2 = line.find(',', c1 + 1), c3 = line.find(',', c2 + 1), c4 = line.find(',', c3 + 1);
        uint64_t job_ms = std::stoull(line.substr(c3 + 1, c4 - c3 - 1));
        bool read = line.find(",308,301,0,0,0,0,0,0,309") != std::string::npos;
        if (first) {
            EXPECT_TRUE(read) << "the first point of the cycle reads them";
        } else if (read) {
            EXPECT_EQ(job_ms / 1000 % 3, 0u) << line;
        }
        first = false;
        (read ? with : without) += 1;
    }
    EXPECT_GE(with, 2);
    EXPECT_GE(without, 4);
}

TEST_F(WorkloadEngine, TooManyPointsInOneCycleEndsTheRun) {
    set_workload_time_scale(2000.0);
    SimIoHooks slow;
    slow.latency_us = [](const IoRequest&) -> int64_t { return 200; };
    PerfParams p = params(make_memory_target(1ull << 30, 512, slow));
    p.random_ratio = 100;
    p.range_mb = 1024;
    p.queue_depth = 1;
    p.rate = 1000;
    // Sped up 2000 times, the usual stall limit is 15 ms of real time, which
    // a busy machine (or a coarse system timer) can let pass between two
    // completions; this run is about the points, so no stall may end it.
    p.stall_seconds = 1'000'000;
    WorkloadResult r;
    EXPECT_EQ(run_performance(p, r), -87);
    EXPECT_EQ(r.final_state, RunState::TooManyPoints);
    EXPECT_EQ(r.last_points.size(), kSampleCapacity - 1);
}

TEST_F(WorkloadEngine, StoppingTheJobShowsTheCancelProgressAndReturnsPromptly) {
    set_workload_time_scale(10.0);
    // A device whose requests never complete and that ignores aborts.
    SimIoHooks stuck;
    stuck.latency_us = [](const IoRequest&) -> int64_t { return -1; };
    stuck.ignore_cancel = true;
    PerfParams p = params(make_memory_target(1ull << 30, 512, stuck));
    p.random_ratio = 100;
    p.range_mb = 1024;
    p.queue_depth = 32;
    p.rate = 1;
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    auto t0 = std::chrono::steady_clock::now();
    WorkloadResult r;
    int rc = run_performance(p, r);
    auto took = std::chrono::steady_clock::now() - t0;
    stopper.join();
    EXPECT_EQ(rc, 1);
    EXPECT_LT(took, std::chrono::seconds(2));  // 10 s of workload time is 1 s here
    auto lines = status_lines();
    bool shown = std::any_of(lines.begin(), lines.end(), [](const std::string& s) {
        return s == "Cancel Job:0%" || s == "Cancel Job:50%" || s == "Cancel Job:100%";
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(lines.back(), "");  // cleared at the end
}

TEST_F(WorkloadEngine, NoRequestForThirtySecondsIsAStall) {
    set_workload_time_scale(60.0);
    SimIoHooks stuck;
    stuck.latency_us = [](const IoRequest&) -> int64_t { return -1; };
    PerfParams p = params(make_memory_target(1ull << 30, 512, stuck));
    p.random_ratio = 100;
    p.range_mb = 1024;
    p.queue_depth = 2;
    WorkloadResult r;
    EXPECT_EQ(run_performance(p, r), -76);
    EXPECT_EQ(r.final_state, RunState::Stalled);
    EXPECT_GE(r.elapsed_ms, 30000u);
}

TEST_F(WorkloadEngine, FailedRequestsEndTheRunWithTheirPosition) {
    // The 5th request fails: reads give -3, writes -4; the position is the
    // failed request's offset.
    for (uint32_t write : {0u, 100u}) {
        std::atomic<int> n{0};
        SimIoHooks h;
        h.error = [&n](const IoRequest&) -> int32_t { return ++n == 5 ? -5 : 0; };
        PerfParams p = params(make_memory_target(64ull << 20, 512, h));
        p.write_ratio = write;
        p.start_lba = 8;
        p.range_mb = 32;
        p.request_size = 8192;
        p.queue_depth = 1;
        WorkloadResult r;
        EXPECT_EQ(run_performance(p, r), write ? -4 : -3);
        EXPECT_EQ(r.position, 8 * 512 + 4 * 8192u);
    }
}

TEST_F(WorkloadEngine, RangeOfOneRequestIsRefusedAndAMissingTargetIsMinusOne) {
    PerfParams p = params(make_memory_target(64ull << 20, 512));
    p.range_mb = 1;
    p.request_size = 1u << 20;
    WorkloadResult r;
    EXPECT_EQ(run_performance(p, r), -2);
    p.open = [] { return std::unique_ptr<IoTarget>(); };
    p.request_size = 4096;
    EXPECT_EQ(run_performance(p, r), -1);
}

TEST_F(WorkloadEngine, LatencyHistogramCountsEachRequestInItsBucket) {
    LatencyHistogram h;
    h.reset(1000000);  // a microsecond counter
    for (uint64_t us : {0ull, 49ull, 50ull, 99ull, 999ull, 1000ull, 999999ull, 1000000ull, 50000000ull}) h.add(us);
    auto c = h.snapshot();
    EXPECT_EQ(c[0], 2u);   // 0-50 us
    EXPECT_EQ(c[1], 2u);   // 50-100 us
    EXPECT_EQ(c[4], 1u);   // 0.5-1 ms
    EXPECT_EQ(c[5], 1u);   // 1-2 ms
    EXPECT_EQ(c[15], 1u);  // 0.5-1 sec
    EXPECT_EQ(c[16], 2u);  // > 1 sec
    // A run counts every completed request once.
    SimIoHooks slow;
    slow.latency_us = [](const IoRequest&) -> int64_t { return 300; };
    std::string dir = tb::test::make_temp_dir("tamblor-wl");
    PerfParams p = params(make_memory_target(64ull << 20, 512, slow));
    p.range_mb = 1;
    p.queue_depth = 4;
    p.limit_mb = 1;
    p.output_base = dir + "/R1";
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    std::string qos;
    ASSERT_TRUE(read_file_bytes(p.output_base + "_Qos.TXT", qos));
    EXPECT_NE(qos.find("Total Count      :                 256 \r\n"), std::string::npos) << qos;
    EXPECT_NE(qos.find("0-50 us          :                   0 |"), std::string::npos) << qos;
}

}  // namespace
}  // namespace tb

namespace tb {
namespace {

TEST(WorkloadPattern, FillRepeatsTheValueMostSignificantByteFirstAndAutoDrawsAnew) {
    std::vector<uint8_t> b(10, 0xEE);
    EXPECT_EQ(pattern_fill(b, 0x55AA33CC), 0x55AA33CCu);
    EXPECT_EQ(b, (std::vector<uint8_t>{0x55, 0xAA, 0x33, 0xCC, 0x55, 0xAA, 0x33, 0xCC, 0x55, 0xAA}));
    EXPECT_EQ(pattern_fill(b, 0), 0u);
    EXPECT_EQ(b, std::vector<uint8_t>(10, 0));
    // "AUTO" (the bytes A U T O in memory) is a fresh random value each time.
    std::set<uint32_t> drawn;
    for (int i = 0; i < 8; ++i) drawn.insert(pattern_fill(b, kPatternAuto));
    EXPECT_GE(drawn.size(), 7u);
    uint32_t v = pattern_fill(b, kPatternAuto);
    EXPECT_EQ(b[0], v >> 24);
    EXPECT_EQ(b[3], v & 0xFF);
}

TEST(WorkloadPattern, SectorStampWritesEachSectorsLbaAndTheExtraValues) {
    std::vector<uint8_t> b(3 * 512 + 100, 0x11);
    sector_stamp(b, 0x1234 * 512, 512, 0xAABBCCDD00112233ull, 0);
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(get_be64(&b[s * 512]), 0x1234u + s);
        EXPECT_EQ(get_be64(&b[s * 512 + 8]), 0xAABBCCDD00112233ull);
        EXPECT_EQ(b[s * 512 + 16], 0x11) << "no third value";
    }
    EXPECT_EQ(b[3 * 512], 0x11) << "a partial sector is left alone";
}

}  // namespace
}  // namespace tb
