// The LBA I/O worker engine: keeps a number of request streams busy on a
// target from a small pool of worker threads, samples throughput into a
// series of points, keeps a latency histogram, shows a live status line, and
// writes the series to a CSV file and the latency distribution to a
// "_Qos.TXT" file. The job thread that calls run_performance() is the
// sampler. What each stream asks for comes from a request source
// (request_source.h; by default the performance mix of perf_source.h), what
// it writes and how it checks what it reads back from a data policy
// (data_policy.h). Every stream owns its buffers.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/io_queue.h"
#include "workload/byte_budget.h"
#include "workload/data_policy.h"
#include "workload/request_source.h"

namespace tb {

struct DiskRecord;

// ------------------------------------------------------------------ state

enum class RunState : uint32_t {
    Running = 0,          // requests are issued
    CycleDone = 1,        // stop issuing, drain; another cycle follows
    CancelRequested = 2,  // stop issuing, cancel what is in flight
    LimitReached = 3,     // stop issuing, drain; the run ends
    TimeUp = 4,           // stop issuing, drain; the run ends
    CancelTimedOut = 5,   // abandon what is in flight; the run ends
    ReadFailed = 6,       // the run ends, -3
    WriteFailed = 7,      // the run ends, -4
    Stalled = 8,          // abandon what is in flight; the run ends, -76
    TooManyPoints = 9,    // the run ends, -87
    Miscompare = 10,      // a read-back differed; the run ends, -70
    TrimFailed = 11,      // the run ends, the trim's error
    FlushFailed = 12,     // the run ends, -74
};

// ------------------------------------------------------------------ latency

constexpr int kLatencyBuckets = 17;

struct LatencyHistogram {
    // Upper bounds in microseconds (the last one: no bound) and labels.
    static const std::array<uint64_t, kLatencyBuckets> kBoundsUs;
    static const std::array<const char*, kLatencyBuckets> kLabels;

    std::array<uint64_t, kLatencyBuckets> thresholds{};  // in counter ticks
    std::array<std::atomic<uint64_t>, kLatencyBuckets> counts{};

    // Converts the bounds to ticks of a counter running at `frequency` per
    // second and zeroes the counts.
    void reset(uint64_t frequency);
    // Counts one request that took `ticks`: the first bucket whose bound
    // exceeds it.
    void add(uint64_t ticks);
    // The bucket of a latency (a worker counts locally and adds its counts
    // when it leaves).
    int bucket(uint64_t ticks) const;
    void add_counts(const std::array<uint64_t, kLatencyBuckets>& local);
    std::array<uint64_t, kLatencyBuckets> snapshot() const;
};

// ------------------------------------------------------------------ series

struct ThroughputSample {
    uint32_t cycle_ms = 0;   // since the cycle's start gate opened
    uint32_t job_ms = 0;     // since the command started
    uint32_t write_kbps = 0;
    uint32_t read_kbps = 0;
    uint32_t write_iops = 0;
    uint32_t read_iops = 0;
    uint64_t cycle_bytes = 0;
    uint64_t total_bytes = 0;
    uint16_t composite = 0;  // temperature, 0 when not read
    std::array<uint16_t, 8> sensors{};
};

constexpr uint32_t kSampleCapacity = 262144;

// The first read-back that differed from what its request left: the
// request, the first wrong sector's offset, and copies of the expected data
// and of what was read (the request's length each).
struct MiscompareRecord {
    PlannedIo io;
    uint64_t first_wrong_offset = 0;
    std::vector<uint8_t> expected;
    std::vector<uint8_t> read;
};

// Figures of the last cycle, for the summary lines.
struct WorkloadResult {
    uint32_t max_kbps = 0, min_kbps = 0;
    uint64_t total_kbps = 0;
    uint32_t max_iops = 0, min_iops = 0;
    uint64_t total_iops = 0;
    uint32_t ticks = 0;
    uint32_t avg_kbps = 0, avg_iops = 0;
    uint32_t transfer_mb = 0;
    uint32_t transfer_ms = 0;
    std::string last_cycle_line;  // "Last Cycle Data, Cycle%d, Process:%d%%"
    uint32_t cycle_percent = 0;   // of the last cycle
    uint64_t position = 0;        // the cursor, a byte offset
    // Beyond the summary: what the run did.
    uint32_t cycles = 0;          // cycles run
    uint32_t chart_scale_kbps = 0;
    RunState final_state = RunState::Running;
    std::vector<ThroughputSample> last_points;  // points of the last cycle
    uint32_t elapsed_ms = 0;      // command start to end of the run
    uint64_t total_bytes = 0;     // issued over all cycles
    uint64_t completed_requests = 0;
    bool miscompared = false;
    MiscompareRecord miscompare;  // with miscompared

    void clear();
};

// ------------------------------------------------------------------ control

// A manual-reset event: all workers start together when it opens.
class StartGate {
public:
    void reset();
    void open();
    void wait();
    // Waits at most `ms` of workload time; true when it is open.
    bool wait_ms(double ms);

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

struct WorkloadControl {
    IoTarget* target = nullptr;
    std::atomic<int32_t> alive{0};
    uint32_t request_size = 0;
    uint32_t sector_size = 512;
    bool per_stream = false;
    uint32_t stream_count = 1;  // per-stream mode: the streams running; else 1
    uint32_t all_streams = 1;
    SourceFactory make_source;
    DataPolicy* policy = nullptr;
    // The fields every request writes each sit on cache lines of their own,
    // apart from the ones every slot visit reads.
    alignas(64) std::atomic<uint64_t> cursor{0};
    ByteBudget budget;
    alignas(64) std::atomic<uint64_t> written_bytes{0};
    std::atomic<uint64_t> read_bytes{0};
    alignas(64) std::atomic<uint32_t> state{0};
    const std::atomic<bool>* cancel = nullptr;
    StartGate gate;
    alignas(64) std::atomic<uint32_t> activity{0};
    LatencyHistogram latency;

    // Sequential streams whose cursor has passed the end in this cycle, and
    // how many there are (the shared cursor counts as one).
    std::atomic<uint32_t> exhausted_streams{0};
    uint32_t sequential_streams = 1;
    std::atomic<uint64_t> completed{0};
    std::atomic<uint64_t> left_ms{0};  // when a worker last left (workload time)
    StartGate all_left;                // opened by the last worker to leave
    std::atomic<bool> failed{false};   // a request failed; its offset:
    std::atomic<uint64_t> failed_offset{0};
    MiscompareRecord miscompare;       // written once, by the stream that set `failed`

    RunState run_state() const { return static_cast<RunState>(state.load(std::memory_order_acquire)); }
    // Moves Running to `next`; false when the state had already left Running.
    bool leave_running(RunState next);
    // Unconditional change (failures).
    void set_state(RunState next) { state.exchange(static_cast<uint32_t>(next)); }
};

struct WorkerParam {
    uint32_t depth = 0;  // at most 128
    uint32_t index = 0;
    uint32_t first_stream = 0;
    WorkloadControl* control = nullptr;
    std::span<uint8_t> buffers;  // the worker's stream buffers (write area, then read area)
    bool write_area = true;      // the area holds write buffers
    bool read_area = true;       // ... and read buffers
};

constexpr uint32_t kMaxSlotsPerWorker = 128;

// Slots per worker thread for a queue depth on a number of processors.
std::vector<uint32_t> plan_workers(uint32_t queue_depth, uint32_t processors);

// ------------------------------------------------------------------ run

struct Temperatures;

// What the status line shows once a second.
struct StatusFigures {
    char spinner = '-';
    uint64_t seconds = 0;   // since the command started
    uint32_t cycle = 1;
    uint32_t percent = 0;   // of the cycle
    uint32_t streams = 1;   // per-stream mode: streams running
    bool per_stream = false;
    bool closing = false;   // the run ended; waiting for the workers to leave
};

struct PerfParams {
    int slot = 0;                       // status line and cancel flag of this slot
    const std::atomic<bool>* cancel = nullptr;  // default: the slot's cancel flag
    std::function<std::unique_ptr<IoTarget>()> open;  // the target; nullptr result: -1
    const DiskRecord* disk = nullptr;   // for temperatures (may be null)
    uint32_t sector_size = 512;
    uint32_t write_ratio = 0;
    uint32_t random_ratio = 0;
    uint64_t start_lba = 0;
    uint64_t range_mb = 0;
    uint32_t request_size = 4096;
    int32_t spread = 0;
    uint32_t queue_depth = 1;
    uint32_t pattern = 0;
    uint64_t limit_mb = 0;
    uint32_t limit_sec = 0;
    std::string output_base;            // "<stem>" of "<stem>.CSV" and "<stem>_Qos.TXT"; empty: no files
    uint32_t rate = 1;                  // points per second, 1..1000
    bool per_stream = false;
    uint32_t temperature_interval = 0;  // seconds, 0: never
    uint32_t processors = 0;            // 0: the machine's
    uint32_t stall_seconds = 30;        // seconds without a completion before -76
    // The status line; default: the slot's status text.
    std::function<void(const std::string&)> on_status;
    // Called on the sampler thread for every point (the live chart).
    std::function<void(const ThroughputSample&, uint32_t scale_kbps)> on_point;
    // The text of the status line; default: the performance workloads' line.
    std::function<std::string(const StatusFigures&)> status_line;
    // Where requests come from; default: the performance mix above. A
    // custom source needs both write and read buffers.
    SourceFactory make_source;
    // Fills writes and checks read-backs; default: none (the cycle's
    // pattern, reads unchecked).
    DataPolicy* policy = nullptr;
};

// Runs the engine. Returns 1 (ended normally, by a limit or by a stop), -1
// (target not opened), -2 (range holds no more than one request), -3 (read
// failed), -4 (write failed), -74 (flush failed), -76 (stalled), -87 (too
// many points), -83 (no memory for the buffers), -70 (a read-back differed:
// result.miscompare), or the trim error code for a failed trim.
int run_performance(const PerfParams& params, WorkloadResult& result);

// Time as the engine sees it. Tests let it run faster than the wall clock
// (every wait and every limit scales with it).
void set_workload_time_scale(double factor);
uint64_t workload_ms();
void workload_sleep_ms(double ms);

}  // namespace tb
