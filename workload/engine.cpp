#include "workload/engine.h"
#include "script/error_policy.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "common/format.h"
#include "disk/disk_record.h"
#include "platform/host/processor_count.h"
#include "script/app_context.h"
#include "ui/status.h"
#include "workload/aligned_buffer.h"
#include "workload/pattern.h"
#include "workload/perf_source.h"
#include "workload/report.h"
#include "workload/throughput_summary.h"
#include "workload/temperature.h"

namespace tb {

// ------------------------------------------------------------------ time

namespace {

std::atomic<double> g_time_scale{1.0};

uint64_t real_ns() {
    static const auto epoch = std::chrono::steady_clock::now();
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - epoch).count());
}

// The performance counter of latencies: nanoseconds of the wall clock,
// never scaled (latencies are the device's, not the test's).
constexpr uint64_t kCounterFrequency = 1000000000ull;
inline uint64_t counter_now() { return real_ns(); }

}  // namespace

void set_workload_time_scale(double factor) { g_time_scale.store(factor > 0 ? factor : 1.0); }
uint64_t workload_ms() { return static_cast<uint64_t>(static_cast<double>(real_ns()) * g_time_scale.load() / 1e6); }
void workload_sleep_ms(double ms) {
    double real = ms / g_time_scale.load();
    if (real <= 0) return;
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int64_t>(real * 1000.0)));
}

// ------------------------------------------------------------------ latency

const std::array<uint64_t, kLatencyBuckets> LatencyHistogram::kBoundsUs = {
    50, 100, 200, 500, 1000, 2000, 5000, 10000, 15000, 20000, 30000, 50000, 100000, 200000, 500000, 1000000,
    ~0ull};

const std::array<const char*, kLatencyBuckets> LatencyHistogram::kLabels = {
    "0-50 us", "50-100 us", "100-200 us", "200-500 us", "0.5-1 ms",   "1-2 ms",     "2-5 ms",     "5-10 ms",  "10-15 ms",
    "15-20 ms", "20-30 ms", "30-50 ms",   "50-100 ms",  "100-200 ms", "200-500 ms", "0.5-1 sec", "> 1 sec"};

void LatencyHistogram::reset(uint64_t frequency) {
    for (int b = 0; b < kLatencyBuckets; ++b) {
        thresholds[b] = b == kLatencyBuckets - 1 ? ~0ull : kBoundsUs[b] * frequency / 1000000;
        counts[b].store(0);
    }
}

void LatencyHistogram::add(uint64_t ticks) {
    for (int b = 0; b < kLatencyBuckets; ++b) {
        if (ticks < thresholds[b] || b == kLatencyBuckets - 1) {
            counts[b].fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
}

int LatencyHistogram::bucket(uint64_t ticks) const {
    for (int b = 0; b < kLatencyBuckets - 1; ++b)
        if (ticks < thresholds[b]) return b;
    return kLatencyBuckets - 1;
}

void LatencyHistogram::add_counts(const std::array<uint64_t, kLatencyBuckets>& local) {
    for (int b = 0; b < kLatencyBuckets; ++b)
        if (local[b]) counts[b].fetch_add(local[b], std::memory_order_relaxed);
}

std::array<uint64_t, kLatencyBuckets> LatencyHistogram::snapshot() const {
    std::array<uint64_t, kLatencyBuckets> out{};
    for (int b = 0; b < kLatencyBuckets; ++b) out[b] = counts[b].load();
    return out;
}

// ------------------------------------------------------------------ control

void WorkloadResult::clear() {
    max_kbps = 0;
    min_kbps = 2147483647;
    total_kbps = 0;
    max_iops = 0;
    min_iops = 2147483647;
    total_iops = 0;
    ticks = 0;
    avg_kbps = avg_iops = 0;
    transfer_mb = transfer_ms = 0;
    last_cycle_line.clear();
}

void StartGate::reset() {
    std::lock_guard l(m_);
    open_ = false;
}
void StartGate::open() {
    {
        std::lock_guard l(m_);
        open_ = true;
    }
    cv_.notify_all();
}
void StartGate::wait() {
    std::unique_lock l(m_);
    cv_.wait(l, [this] { return open_; });
}
bool StartGate::wait_ms(double ms) {
    double real = ms / g_time_scale.load();
    std::unique_lock l(m_);
    if (real < 0.02) {  // below the timer's resolution (fast test clocks): just look
        l.unlock();
        std::this_thread::yield();
        l.lock();
        return open_;
    }
    return cv_.wait_for(l, std::chrono::microseconds(static_cast<int64_t>(real > 0 ? real * 1000.0 : 0)),
                        [this] { return open_; });
}

bool WorkloadControl::leave_running(RunState next) {
    uint32_t expected = static_cast<uint32_t>(RunState::Running);
    return state.compare_exchange_strong(expected, static_cast<uint32_t>(next));
}

std::vector<uint32_t> plan_workers(uint32_t queue_depth, uint32_t processors) {
    if (queue_depth == 0) return {};
    if (processors == 0) processors = 1;
    uint32_t threads = queue_depth >= processors ? processors : queue_depth;
    std::vector<uint32_t> shares(threads);
    for (uint32_t i = 0; i < threads; ++i)
        shares[i] = std::min(kMaxSlotsPerWorker, queue_depth / threads + (i < queue_depth % threads ? 1 : 0));
    return shares;
}

// ------------------------------------------------------------------ worker

namespace {

bool draining(RunState s) {
    return s == RunState::CycleDone || s == RunState::LimitReached || s == RunState::TimeUp;
}

IoOp io_op_of(IoAction a) {
    switch (a) {
    case IoAction::Write:
    case IoAction::FuaWrite: return IoOp::Write;
    case IoAction::Trim: return IoOp::Trim;
    case IoAction::Flush: return IoOp::Flush;
    case IoAction::Read: break;
    }
    return IoOp::Read;
}

RunState failure_of(IoAction a, bool reading_back) {
    if (reading_back) return RunState::ReadFailed;
    switch (a) {
    case IoAction::Write:
    case IoAction::FuaWrite: return RunState::WriteFailed;
    case IoAction::Trim: return RunState::TrimFailed;
    case IoAction::Flush: return RunState::FlushFailed;
    case IoAction::Read: break;
    }
    return RunState::ReadFailed;
}

// Reads and writes move all their bytes; trims and flushes only succeed.
bool request_succeeded(const IoRequest& r, int32_t result) {
    if (r.op == IoOp::Trim || r.op == IoOp::Flush) return result >= 0;
    return result == static_cast<int32_t>(r.length);
}

struct Slot {
    bool busy = false;
    bool done = false;
    bool reading_back = false;  // the read-back of a completed write or trim
    bool timed = true;          // completed at submission: counted, not timed
    bool exhausted = false;
    uint32_t gen = 0;
    int32_t result = 0;
    PlannedIo io;
    IoRequest request;
    uint64_t issued_at = 0;
    uint64_t done_at = 0;
};

class Worker {
public:
    Worker(const WorkerParam& p) : p_(p), c_(*p.control) {}

    void run() {
        queue_ = c_.target->make_queue(p_.depth, p_.buffers);
        ByteBudget& budget = c_.budget;
        source_ = c_.make_source(SourcePlace{p_.index, p_.first_stream, p_.depth, c_.all_streams}, budget);
        c_.alive.fetch_add(1);
        c_.gate.wait();
        if (c_.per_stream) workload_sleep_ms(20.0 * p_.index);
        loop();
        queue_.reset();
        c_.latency.add_counts(latency_);
        c_.completed.fetch_add(completed_);
        c_.left_ms.store(workload_ms());
        if (c_.alive.fetch_sub(1) == 1) c_.all_left.open();
    }

private:
    void loop() {
        std::array<IoCompletion, kMaxSlotsPerWorker + 8> done;
        for (;;) {
            bool progress = false;
            for (uint32_t i = 0; i < p_.depth; ++i) {
                RunState st = c_.run_state();
                if (st != RunState::Running && in_flight_ == 0) return;
                bool cancel = c_.cancel && c_.cancel->load(std::memory_order_relaxed);
                if (cancel && st == RunState::Running) {
                    c_.leave_running(RunState::CancelRequested);
                    st = c_.run_state();
                }
                Slot& s = slots_[i];
                if (s.busy) {
                    if (st == RunState::Stalled || st == RunState::CancelTimedOut) {
                        release(s, i);  // abandoned
                        continue;
                    }
                    if (!s.done) {
                        if (cancel) {
                            queue_->cancel(tag_of(i, s));
                            release(s, i);
                        }
                        continue;
                    }
                    finish_ready(s, i);
                    progress = true;
                    st = c_.run_state();  // a failure ends issuing at once
                    if (s.busy) continue;  // its read-back is out
                }
                if (st == RunState::Running && issue(s, i)) {
                    progress = true;
                    finish_ready(s, i);  // a request that ended at submission
                }
            }
            size_t n;
            if (in_flight_ > 0) {
                // Every slot that can move has moved: hand the new requests
                // over and sleep until the first of any of them completes, in
                // one call to the kernel (a device that answers during the
                // submission does not put the worker to sleep at all).
                n = queue_->wait(done, 10000);
            } else {
                queue_->kick();
                n = 0;
                if (!progress) std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            collect(std::span<IoCompletion>(done.data(), n));
        }
    }

    // The activity flag is written only when it is clear, so that the line
    // it sits on is not bounced between the workers on every request.
    void mark_active() {
        if (!c_.activity.load(std::memory_order_relaxed)) c_.activity.store(1, std::memory_order_relaxed);
    }

    static uint64_t tag_of(uint32_t index, const Slot& s) { return (static_cast<uint64_t>(s.gen) << 8) | index; }

    uint32_t stream_of(uint32_t index) const { return p_.first_stream + index; }
    uint8_t* write_buffer(uint32_t index) const { return p_.buffers.data() + size_t{index} * c_.request_size; }
    uint8_t* read_buffer(uint32_t index) const {
        return p_.buffers.data() + size_t{index + (p_.write_area ? p_.depth : 0)} * c_.request_size;
    }

    void collect(std::span<IoCompletion> done) {
        if (done.empty()) return;
        uint64_t now = counter_now();
        for (const IoCompletion& d : done) {
            uint32_t index = static_cast<uint32_t>(d.tag & 0xFF);
            if (index >= p_.depth) continue;
            Slot& s = slots_[index];
            if (!s.busy || s.done || s.gen != static_cast<uint32_t>(d.tag >> 8)) continue;  // stale
            s.done = true;
            s.result = d.result;
            s.done_at = now;
        }
    }

    void release(Slot& s, uint32_t index) {
        s.busy = false;
        s.done = false;
        s.reading_back = false;
        --in_flight_;
        source_->done(stream_of(index), s.io);
    }

    void fail(const Slot& s) {
        // The first failure is the position reported.
        bool expected = false;
        if (c_.failed.compare_exchange_strong(expected, true)) c_.failed_offset.store(s.io.offset);
        c_.cursor.store(s.io.offset);
        c_.set_state(failure_of(s.io.action, s.reading_back));
    }

    void miscompare(const Slot& s, uint32_t index, uint32_t wrong_sector) {
        // Only the first stream to find a difference reports it; the others
        // just leave.
        bool expected = false;
        if (!c_.failed.compare_exchange_strong(expected, true)) return;
        c_.failed_offset.store(s.io.offset);
        c_.cursor.store(s.io.offset);
        MiscompareRecord& m = c_.miscompare;
        m.io = s.io;
        m.first_wrong_offset = s.io.offset + uint64_t{wrong_sector} * c_.sector_size;
        m.read.assign(read_buffer(index), read_buffer(index) + s.io.length);
        m.expected.resize(s.io.length);
        if (is_write(s.io.action) && p_.write_area)
            std::copy(write_buffer(index), write_buffer(index) + s.io.length, m.expected.begin());
        else
            c_.policy->expected_data(s.io, m.expected);
        c_.set_state(RunState::Miscompare);
    }

    // Finishes the slot's request while it has completed; a read-back may
    // follow and complete at once too.
    void finish_ready(Slot& s, uint32_t index) {
        while (s.busy && s.done) finish(s, index);
    }

    void finish(Slot& s, uint32_t index) {
        if (s.timed) ++latency_[c_.latency.bucket(s.done_at - s.issued_at)];
        ++completed_;
        mark_active();
        if (!request_succeeded(s.request, s.result)) {
            fail(s);
            release(s, index);
            return;
        }
        if (s.reading_back || (c_.policy && s.io.action == IoAction::Read)) {
            // A read-back, or a read a source planned for checking.
            std::optional<uint32_t> wrong = c_.policy->check(
                s.io, std::span<const uint8_t>(write_buffer(index), p_.write_area ? s.io.length : 0),
                std::span<const uint8_t>(read_buffer(index), s.io.length));
            if (wrong) miscompare(s, index, *wrong);
            release(s, index);
            return;
        }
        const RunState st = c_.run_state();
        if (c_.policy && changes_data(s.io.action) && (st == RunState::Running || draining(st)) &&
            c_.policy->wants_read_back(stream_of(index), s.io)) {
            // The stream stays on its range and reads it back at once.
            --in_flight_;
            s.busy = false;
            s.done = false;
            s.reading_back = true;
            IoRequest req;
            req.op = IoOp::Read;
            req.offset = s.io.offset;
            req.length = s.io.length;
            req.data = read_buffer(index);
            c_.read_bytes.fetch_add(s.io.length, std::memory_order_relaxed);
            submit(s, index, req);
            return;
        }
        release(s, index);
    }

    // Sends a request for the slot; a request that ends at once is finished
    // on the slot's next visit like any other.
    void submit(Slot& s, uint32_t index, const IoRequest& request) {
        s.gen = ++next_gen_ & 0x00FFFFFFu;
        s.request = request;
        s.request.tag = tag_of(index, s);
        s.issued_at = counter_now();
        s.timed = true;
        s.busy = true;
        s.done = false;
        ++in_flight_;
        SubmitResult r = queue_->submit(s.request);
        if (r.status == SubmitStatus::Pending) return;
        s.done = true;
        s.timed = false;  // counted, not timed
        s.result = r.status == SubmitStatus::Done ? r.result : (r.result < 0 ? r.result : -EIO);
        s.done_at = s.issued_at;
    }

    void stream_exhausted(Slot& s) {
        if (c_.per_stream) {
            if (s.exhausted) return;
            s.exhausted = true;
        } else if (shared_exhausted_) {
            return;
        } else {
            shared_exhausted_ = true;
        }
        uint32_t n = c_.exhausted_streams.fetch_add(1) + 1;
        // Every sequential cursor has passed the end: the cycle is done even
        // though its byte count was not reached (a range that is not a whole
        // number of requests, or a size spread).
        if (c_.per_stream ? n >= c_.sequential_streams : true) c_.leave_running(RunState::CycleDone);
    }

    bool issue(Slot& s, uint32_t index) {
        PlannedIo io;
        const Draw d = source_->next(stream_of(index), io);
        switch (d.status) {
        case DrawStatus::Ready: break;
        case DrawStatus::Wait: return false;
        case DrawStatus::Paused: mark_active(); return false;
        case DrawStatus::StreamEnded:
            mark_active();
            stream_exhausted(s);
            return false;
        case DrawStatus::CycleDone: c_.leave_running(RunState::CycleDone); return false;
        case DrawStatus::LimitReached:
        case DrawStatus::Ended: c_.leave_running(RunState::LimitReached); return false;
        }
        if (is_write(io.action)) c_.written_bytes.fetch_add(io.length, std::memory_order_relaxed);
        else if (io.action == IoAction::Read) c_.read_bytes.fetch_add(io.length, std::memory_order_relaxed);

        IoRequest req;
        req.op = io_op_of(io.action);
        req.offset = io.offset;
        req.length = io.length;
        req.fua = io.action == IoAction::FuaWrite;
        if (req.op == IoOp::Write) {
            req.data = write_buffer(index);
            if (c_.policy) c_.policy->prepare_write(io, std::span<uint8_t>(req.data, io.length));
        } else if (req.op == IoOp::Read) {
            req.data = read_buffer(index);
        }
        s.io = io;
        s.reading_back = false;
        submit(s, index, req);
        mark_active();
        if (d.fills_limit) c_.leave_running(RunState::LimitReached);
        else if (d.fills_cycle) c_.leave_running(RunState::CycleDone);
        return true;
    }

    WorkerParam p_;
    WorkloadControl& c_;
    std::unique_ptr<IoQueue> queue_;
    std::unique_ptr<RequestSource> source_;
    std::array<Slot, kMaxSlotsPerWorker> slots_{};
    uint32_t in_flight_ = 0;
    uint32_t next_gen_ = 0;
    std::array<uint64_t, kLatencyBuckets> latency_{};
    uint64_t completed_ = 0;
    bool shared_exhausted_ = false;
};

void worker_body(WorkerParam param) {
    Worker w(param);
    w.run();
}

// ------------------------------------------------------------------ sampler

const char kSpinner[4] = {'-', '/', '-', '\\'};

int exit_code(RunState s) {
    switch (s) {
    case RunState::ReadFailed: return kErrReadIO;
    case RunState::WriteFailed: return kErrWriteIO;
    case RunState::Stalled: return kErrIoTimeout;
    case RunState::TooManyPoints: return kErrTooMuchMemory;
    case RunState::Miscompare: return kErrMiscompareThenCorrect;
    case RunState::TrimFailed:
    case RunState::FlushFailed: return kErrIoControl;
    default: return 1;
    }
}

uint32_t percent_of(uint64_t done, uint64_t whole) {
    return whole ? static_cast<uint32_t>(std::min<uint64_t>(done * 100 / whole, 100)) : 0;
}

bool failed_state(RunState s) {
    return s == RunState::ReadFailed || s == RunState::WriteFailed || s == RunState::Miscompare ||
           s == RunState::TrimFailed || s == RunState::FlushFailed || s == RunState::Stalled;
}

std::string performance_status(const StatusFigures& f) {
    const uint32_t h = static_cast<uint32_t>(f.seconds / 3600), m = static_cast<uint32_t>(f.seconds / 60 % 60),
                   sec = static_cast<uint32_t>(f.seconds % 60);
    const std::string spin(1, f.spinner);
    if (f.per_stream)
        return fmt("%s %02d:%02d:%02d   |   Cycle%d, Process:%d%% by %d", spin, h, m, sec, f.cycle, f.percent,
                   f.streams);
    return fmt("%s %02d:%02d:%02d   |   Cycle%d, Process:%d%%", spin, h, m, sec, f.cycle, f.percent);
}

// The memory of every worker's streams: a write buffer and a read buffer of
// the request size per stream, where the workload writes and reads.
struct StreamBuffers {
    bool writes = true, reads = true;
    std::vector<AlignedBuffer> areas;

    bool allocate(const std::vector<uint32_t>& shares, uint32_t request_size) {
        const size_t per_stream = size_t{request_size} * ((writes ? 1 : 0) + (reads ? 1 : 0));
        areas.resize(shares.size());
        for (size_t i = 0; i < shares.size(); ++i)
            if (!areas[i].allocate(std::max<size_t>(per_stream * shares[i], request_size))) return false;
        return true;
    }
    // The write buffers hold the cycle's pattern.
    void fill_writes(const std::vector<uint32_t>& shares, uint32_t request_size, uint32_t value) {
        if (!writes) return;
        for (size_t i = 0; i < areas.size(); ++i)
            pattern_fill_value(areas[i].span().first(size_t{request_size} * shares[i]), value);
    }
};

}  // namespace

int run_performance(const PerfParams& p, WorkloadResult& result) {
    result.clear();
    result.cycles = 0;
    result.final_state = RunState::Running;
    result.last_points.clear();

    auto control = std::make_unique<WorkloadControl>();
    WorkloadControl& c = *control;
    result.miscompared = false;
    c.latency.reset(kCounterFrequency);

    uint32_t processors = p.processors ? p.processors : host::processor_count();
    std::vector<uint32_t> shares = plan_workers(p.queue_depth, processors);
    if (shares.empty() || p.request_size == 0 || p.sector_size == 0) return kErrParam;

    std::unique_ptr<IoTarget> target = p.open ? p.open() : nullptr;
    if (!target) return kErrOpenDisk;
    c.target = target.get();

    const uint64_t range_bytes = p.range_mb << 20;
    // The performance mix needs room for more than one request (a custom
    // source judges its own range).
    if (!p.make_source && range_bytes <= p.request_size) return kErrParam;
    PerfMix mix;
    mix.start_offset = p.start_lba * p.sector_size;
    mix.last_offset = mix.start_offset + (range_bytes > p.request_size ? range_bytes - p.request_size : 0);
    mix.write_ratio = std::min<uint32_t>(p.write_ratio, 100);
    mix.random_ratio = std::min<uint32_t>(p.random_ratio, 100);
    mix.request_size = p.request_size;
    mix.spread = p.spread > 0 && static_cast<uint32_t>(p.spread) < p.request_size ? p.spread : 0;
    mix.sector_size = p.sector_size;
    mix.per_stream = p.per_stream;
    c.request_size = p.request_size;
    c.sector_size = p.sector_size;
    c.per_stream = p.per_stream;
    // Slots beyond 128 per thread are not started, so in per-stream mode the
    // streams that really run set the cycle and the limit.
    uint32_t slots_total = 0;
    for (uint32_t s : shares) slots_total += s;
    c.stream_count = p.per_stream ? slots_total : 1;
    c.all_streams = slots_total;
    uint64_t transfer_limit = (p.limit_mb << 20) * c.stream_count;
    transfer_limit -= transfer_limit % p.request_size;
    const uint64_t cycle_length = std::max<uint64_t>(p.range_mb, 1) << 20;
    mix.units = cycle_length / p.request_size;
    c.budget.configure(transfer_limit, cycle_length * c.stream_count);
    c.sequential_streams = p.per_stream ? slots_total : 1;
    c.cancel = p.cancel ? p.cancel : &app().jobs[0].cancel;
    c.policy = p.policy;
    if (p.make_source) {
        c.make_source = p.make_source;
    } else {
        const uint32_t seed = static_cast<uint32_t>(real_ns() / 1000000);
        c.make_source = [&c, mix, seed](const SourcePlace& place, ByteBudget& budget) {
            return std::make_unique<PerfSource>(mix, c.cursor, budget, place, seed);
        };
    }

    StreamBuffers buffers;
    if (!p.make_source) {
        buffers.writes = mix.write_ratio > 0;
        buffers.reads = mix.write_ratio < 100;
    }
    if (!buffers.allocate(shares, p.request_size)) return kErrHostMemory;

    const uint32_t rate = std::clamp<uint32_t>(p.rate, 1, 1000);
    const uint64_t t0 = workload_ms();
    const uint64_t cycle_cap = c.budget.cycle_length();
    uint32_t spinner = 0;
    uint32_t stall = 0;
    int64_t last_second = -1;
    int64_t last_temperature_second = -1;
    uint32_t scale = 10240;
    RunState final_state = RunState::Running;

    auto status = [&p](const std::string& text) {
        if (p.on_status) p.on_status(text);
        else set_status_text(p.slot, text);
    };
    auto cancel_status = [&]() {
        uint32_t alive = static_cast<uint32_t>(std::max(c.alive.load(), 0));
        uint32_t threads = static_cast<uint32_t>(shares.size());
        status(fmt("Cancel Job:%d%%", (threads - std::min(alive, threads)) * 100 / threads));
    };

    for (uint32_t cycle = 1;; ++cycle) {
        // 1. A fresh cycle.
        std::vector<ThroughputSample> points;
        result.clear();
        c.gate.reset();
        c.written_bytes.store(0);
        c.read_bytes.store(0);
        c.budget.start_cycle();
        c.exhausted_streams.store(0);
        c.left_ms.store(0);
        c.all_left.reset();
        c.cursor.store(mix.start_offset);
        c.state.store(static_cast<uint32_t>(RunState::Running));
        // 2. The data of this cycle (a data policy fills every write itself).
        if (!c.policy) buffers.fill_writes(shares, p.request_size, p.pattern == kPatternAuto ? process_random32() : p.pattern);
        // 3. Workers, start gate.
        c.alive.store(0);
        {
            std::vector<std::jthread> workers;
            workers.reserve(shares.size());
            for (uint32_t i = 0, first = 0; i < shares.size(); first += shares[i], ++i) {
                WorkerParam w;
                w.depth = shares[i];
                w.index = i;
                w.first_stream = first;
                w.control = &c;
                w.buffers = buffers.areas[i].span();
                w.write_area = buffers.writes;
                w.read_area = buffers.reads;
                workers.emplace_back(worker_body, w);
            }
            while (c.alive.load() < static_cast<int32_t>(shares.size())) workload_sleep_ms(10);
            c.gate.open();
            const uint64_t cycle_t0 = workload_ms();
            // The sampler's waits end early when the last worker leaves, so
            // that a short cycle is not followed by an idle tick.
            c.all_left.wait_ms(500);

            // 4. Sampling.
            uint64_t prev_ms = cycle_t0, prev_w = 0, prev_r = 0, last_tick = 0;
            uint32_t cancel_ticks = 0;
            while (c.alive.load() > 0) {
                c.all_left.wait_ms(1000.0 / rate);
                uint64_t now = workload_ms();
                if (now == last_tick) continue;
                last_tick = now;
                RunState st = c.run_state();
                int64_t second = static_cast<int64_t>((now - t0) / 1000);
                if (st == RunState::Running) {
                    if (points.size() + 1 >= kSampleCapacity) {
                        c.leave_running(RunState::TooManyPoints);
                    } else {
                        ThroughputSample pt;
                        uint64_t w = c.written_bytes.load(), r = c.read_bytes.load();
                        uint64_t ms = std::max<uint64_t>(now - prev_ms, 1);
                        pt.cycle_ms = static_cast<uint32_t>(now - cycle_t0);
                        pt.job_ms = static_cast<uint32_t>(now - t0);
                        set_rates(pt, w - prev_w, r - prev_r, ms * 1000, p.request_size);
                        pt.cycle_bytes = c.budget.cycle_bytes();
                        pt.total_bytes = c.budget.total_bytes();
                        prev_ms = now;
                        prev_w = w;
                        prev_r = r;
                        if (p.temperature_interval && p.disk && second != last_temperature_second &&
                            (second % p.temperature_interval == 0 || points.empty())) {
                            last_temperature_second = second;
                            Temperatures t;
                            read_temperatures(*p.disk, t);
                            pt.composite = t.composite;
                            pt.sensors = t.sensors;
                        }
                        points.push_back(pt);
                        add_to_summary(result, pt);
                        scale = std::max(scale, pt.write_kbps + pt.read_kbps + 10240);
                        if (p.on_point) p.on_point(pt, scale);
                    }
                }
                const bool closing = p.status_line && failed_state(st);
                if ((st == RunState::Running || draining(st) || closing) && second != last_second) {
                    last_second = second;
                    if (c.activity.exchange(0)) {
                        stall = 0;
                        spinner = (spinner + 1) % 4;
                    } else {
                        ++stall;
                    }
                    StatusFigures f;
                    f.spinner = kSpinner[spinner];
                    f.seconds = static_cast<uint64_t>(second);
                    f.cycle = cycle;
                    f.percent = percent_of(c.budget.cycle_bytes(), cycle_cap);
                    f.streams = c.stream_count;
                    f.per_stream = p.per_stream;
                    f.closing = st != RunState::Running;
                    status(p.status_line ? p.status_line(f) : performance_status(f));
                    if (stall >= std::max<uint32_t>(p.stall_seconds, 1) && !closing) c.set_state(RunState::Stalled);
                    else if (st == RunState::Running && p.limit_sec && second >= p.limit_sec)
                        c.leave_running(RunState::TimeUp);
                }
                if (st == RunState::CancelRequested) {
                    // Shown at once and then every second.
                    if (cancel_ticks++ % rate == 0) cancel_status();
                    if (cancel_ticks > 10 * rate) {
                        uint32_t expected = static_cast<uint32_t>(RunState::CancelRequested);
                        c.state.compare_exchange_strong(expected, static_cast<uint32_t>(RunState::CancelTimedOut));
                    }
                }
            }
            // 5. The workers have left (the threads are joined here). Workers
            // that left before the sampler's next tick still show the stop.
            workers.clear();
            if (c.run_state() == RunState::CancelRequested && cancel_ticks == 0) cancel_status();
            // The cycle ended when its last worker left, which may be well
            // before the sampler's next tick.
            const uint64_t cycle_end = std::max(c.left_ms.load(), cycle_t0);
            if (result.ticks == 0 && c.budget.cycle_bytes() > 0 && c.run_state() != RunState::TooManyPoints) {
                // A cycle shorter than the first tick: one point for the whole
                // cycle, so that its rates are not reported as zero.
                ThroughputSample pt;
                uint64_t ms = std::max<uint64_t>(cycle_end - cycle_t0, 1);
                pt.cycle_ms = static_cast<uint32_t>(ms);
                pt.job_ms = static_cast<uint32_t>(cycle_end - t0);
                set_rates(pt, c.written_bytes.load() - prev_w, c.read_bytes.load() - prev_r, ms * 1000, p.request_size);
                pt.cycle_bytes = c.budget.cycle_bytes();
                pt.total_bytes = c.budget.total_bytes();
                points.push_back(pt);
                add_to_summary(result, pt);
                scale = std::max(scale, pt.write_kbps + pt.read_kbps + 10240);
                if (p.on_point) p.on_point(pt, scale);
            }
            close_summary(result, p.request_size);
            uint64_t cycle_bytes = c.budget.cycle_bytes();
            result.transfer_mb = static_cast<uint32_t>(cycle_bytes >> 20);
            result.transfer_ms = static_cast<uint32_t>(cycle_end - cycle_t0);
            result.cycle_percent = percent_of(cycle_bytes, cycle_cap);
            result.last_cycle_line = fmt("Last Cycle Data, Cycle%d, Process:%d%%", cycle, result.cycle_percent);
            append_csv(p.output_base, points);
            result.last_points = std::move(points);
            result.cycles = cycle;
        }

        // 6. Another cycle? A stream that reached its end beside the request
        // filling the transfer limit may have ended the cycle first; the
        // limit still ends the run.
        RunState st = c.run_state();
        if (st == RunState::CycleDone && c.budget.limit() && c.budget.total_bytes() >= c.budget.limit())
            st = RunState::LimitReached;
        const uint64_t now = workload_ms();
        bool cancel = c.cancel->load();
        if (st == RunState::Running || st == RunState::CycleDone) {
            if (cancel) {
                final_state = RunState::CancelRequested;
                break;
            }
            if (p.limit_sec && (now - t0) / 1000 >= p.limit_sec) {
                final_state = RunState::TimeUp;
                break;
            }
            continue;
        }
        final_state = st;
        break;
    }

    status("");
    result.position = c.failed.load() ? c.failed_offset.load() : c.cursor.load();
    result.final_state = final_state;
    result.chart_scale_kbps = scale;
    result.elapsed_ms = static_cast<uint32_t>(workload_ms() - t0);
    result.total_bytes = c.budget.total_bytes();
    if (final_state == RunState::Miscompare) {
        result.miscompared = true;
        result.miscompare = std::move(c.miscompare);
    }
    result.completed_requests = c.completed.load();
    append_qos(p.output_base, c.latency.snapshot());
    return exit_code(final_state);
}

}  // namespace tb
