#include "workload/engine.h"
#include "script/error_policy.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "common/format.h"
#include "disk/disk_record.h"
#include "script/app_context.h"
#include "ui/status.h"
#include "workload/aligned_buffer.h"
#include "workload/pattern.h"
#include "workload/report.h"
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
double workload_time_scale() { return g_time_scale.load(); }
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

struct Slot {
    bool busy = false;
    bool done = false;
    uint8_t op = 0;  // 0 read, 1 write
    bool exhausted = false;
    uint32_t gen = 0;
    uint32_t length = 0;
    int32_t result = 0;
    uint64_t offset = 0;
    uint64_t issued_at = 0;
    uint64_t done_at = 0;
    uint64_t cursor = 0;  // per-stream mode
};

class Worker {
public:
    Worker(const WorkerParam& p) : p_(p), c_(*p.control) {}

    void run() {
        queue_ = c_.target->make_queue(p_.depth, std::span<uint8_t>(c_.buffer, c_.request_size));
        c_.alive.fetch_add(1);
        c_.gate.wait();
        if (c_.per_stream) {
            for (uint32_t i = 0; i < p_.depth; ++i) slots_[i].cursor = c_.start_offset;
            workload_sleep_ms(20.0 * p_.index);
        }
        uint32_t tick = static_cast<uint32_t>(real_ns() / 1000000);
        fill_ratio_table(ops_, c_.write_ratio, tick + p_.index * 0x9E3779B9u);
        fill_ratio_table(random_, c_.random_ratio, (tick ^ 0x5BD1E995u) + p_.index * 0x85EBCA6Bu);
        rng_.x = crypto_random32();
        units_ = c_.cycle_length / c_.request_size;
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
                        release(s);  // abandoned
                        continue;
                    }
                    if (s.done) {
                        finish(s);
                        progress = true;
                        st = c_.run_state();  // a failure ends issuing at once
                    } else {
                        if (cancel) {
                            queue_->cancel(tag_of(i, s));
                            release(s);
                        }
                        continue;
                    }
                }
                if (st == RunState::Running && issue(s, i)) progress = true;
            }
            size_t n;
            if (in_flight_ > 0) {
                // Every slot that can move has moved: hand the new requests
                // over and sleep until the first of any of them completes.
                n = progress ? queue_->poll(done) : 0;
                if (n == 0 && progress) {
                    // Hand the new requests over in a call of their own and look
                    // once more: a fast device has often answered by then, and
                    // the worker does not go to sleep for it.
                    queue_->kick();
                    n = queue_->poll(done);
                }
                if (n == 0) n = queue_->wait(done, 10000);
                else queue_->kick();
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

    void release(Slot& s) {
        s.busy = false;
        s.done = false;
        --in_flight_;
    }

    void fail(const Slot& s) { fail(s.op, s.offset); }
    void fail(uint8_t op, uint64_t offset) {
        // The first failure is the position reported.
        bool expected = false;
        if (c_.failed.compare_exchange_strong(expected, true)) c_.failed_offset.store(offset);
        c_.cursor.store(offset);
        c_.set_state(op ? RunState::WriteFailed : RunState::ReadFailed);
    }

    void finish(Slot& s) {
        ++latency_[c_.latency.bucket(s.done_at - s.issued_at)];
        ++completed_;
        mark_active();
        if (s.result != static_cast<int32_t>(s.length)) fail(s);
        release(s);
    }

    // Claims the next sequential offset of a cursor; false when it has
    // passed the end. In a run with random requests the cursor starts over
    // at the range start instead.
    bool claim(std::atomic<uint64_t>& cursor, uint32_t size, uint64_t& offset) {
        uint64_t cur = cursor.load();
        for (;;) {
            uint64_t at = cur;
            if (at > c_.end_offset) {
                if (c_.random_ratio == 0) return false;
                at = c_.start_offset;
            }
            if (cursor.compare_exchange_weak(cur, at + size)) {
                offset = at;
                return true;
            }
        }
    }
    bool claim_own(Slot& s, uint32_t size, uint64_t& offset) {
        if (s.cursor > c_.end_offset) {
            if (c_.random_ratio == 0) return false;
            s.cursor = c_.start_offset;
        }
        offset = s.cursor;
        s.cursor += size;
        return true;
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
        // The table entries are taken only by a request that is issued, so
        // the ratios hold over every 100 requests the thread really sends.
        uint8_t op = ops_[op_index_];
        uint32_t size = c_.request_size;
        if (c_.spread > 0) {
            size = rng_.below(static_cast<uint32_t>(c_.spread)) + (c_.request_size - static_cast<uint32_t>(c_.spread));
            size = size / c_.sector_size * c_.sector_size;
            if (size == 0) size = c_.sector_size;
        }
        // The byte budgets: the transfer limit and the cycle.
        uint64_t total_before = c_.issued_total.fetch_add(size);
        if (c_.transfer_limit && total_before >= c_.transfer_limit) {
            c_.issued_total.fetch_sub(size);
            c_.leave_running(RunState::LimitReached);
            return false;
        }
        const uint64_t cycle_cap = c_.cycle_length * c_.stream_count;
        uint64_t cycle_before = c_.issued_cycle.fetch_add(size);
        if (cycle_before >= cycle_cap) {
            c_.issued_total.fetch_sub(size);
            c_.issued_cycle.fetch_sub(size);
            c_.leave_running(RunState::CycleDone);
            return false;
        }
        uint64_t offset;
        bool random = random_[random_index_] != 0;
        if (random) {
            offset = c_.start_offset + rng_.below64(units_) * c_.request_size;
            c_.cursor.store(offset + size);
        } else if (!(c_.per_stream ? claim_own(s, size, offset) : claim(c_.cursor, size, offset))) {
            c_.issued_total.fetch_sub(size);
            c_.issued_cycle.fetch_sub(size);
            mark_active();
            stream_exhausted(s);
            return false;
        }
        op_index_ = (op_index_ + 1) % 100;
        random_index_ = (random_index_ + 1) % 100;
        (op ? c_.written_bytes : c_.read_bytes).fetch_add(size, std::memory_order_relaxed);

        s.gen = ++next_gen_ & 0x00FFFFFFu;
        s.op = op;
        s.offset = offset;
        s.length = size;
        s.issued_at = counter_now();
        IoRequest req;
        req.op = op ? IoOp::Write : IoOp::Read;
        req.offset = offset;
        req.data = c_.buffer;
        req.length = size;
        req.tag = tag_of(index, s);
        SubmitResult r = queue_->submit(req);
        switch (r.status) {
        case SubmitStatus::Pending:
            s.busy = true;
            s.done = false;
            ++in_flight_;
            break;
        case SubmitStatus::Done:  // counted, not timed
            ++completed_;
            if (r.result != static_cast<int32_t>(size)) fail(op, offset);
            break;
        case SubmitStatus::Failed:
            fail(op, offset);
            break;
        }
        mark_active();
        if (c_.transfer_limit && total_before + size >= c_.transfer_limit) c_.leave_running(RunState::LimitReached);
        else if (cycle_before + size >= cycle_cap) c_.leave_running(RunState::CycleDone);
        return true;
    }

    WorkerParam p_;
    WorkloadControl& c_;
    std::unique_ptr<IoQueue> queue_;
    std::array<Slot, kMaxSlotsPerWorker> slots_{};
    std::array<uint8_t, 100> ops_{};
    std::array<uint8_t, 100> random_{};
    uint32_t op_index_ = 0, random_index_ = 0;
    WorkloadRandom rng_;
    uint32_t in_flight_ = 0;
    uint32_t next_gen_ = 0;
    uint64_t units_ = 1;
    std::array<uint64_t, kLatencyBuckets> latency_{};
    uint64_t completed_ = 0;
    bool shared_exhausted_ = false;
};

void worker_body(WorkerParam param) {
    Worker w(param);
    w.run();
}

// ------------------------------------------------------------------ sampler

uint32_t processor_count() {
    long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<uint32_t>(n) : 1;
}

const char kSpinner[4] = {'-', '/', '-', '\\'};

int exit_code(RunState s) {
    switch (s) {
    case RunState::ReadFailed: return kErrReadIO;
    case RunState::WriteFailed: return kErrWriteIO;
    case RunState::Stalled: return kErrIoTimeout;
    case RunState::TooManyPoints: return kErrTooMuchMemory;
    default: return 1;
    }
}

uint32_t clamp32(uint64_t v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

}  // namespace

int run_performance(const PerfParams& p, WorkloadResult& result) {
    result.clear();
    result.cycles = 0;
    result.final_state = RunState::Running;
    result.last_points.clear();

    auto control = std::make_unique<WorkloadControl>();
    WorkloadControl& c = *control;
    c.latency.reset(kCounterFrequency);

    uint32_t processors = p.processors ? p.processors : processor_count();
    std::vector<uint32_t> shares = plan_workers(p.queue_depth, processors);
    if (shares.empty() || p.request_size == 0 || p.sector_size == 0) return kErrParam;

    std::unique_ptr<IoTarget> target = p.open ? p.open() : nullptr;
    if (!target) return kErrOpenDisk;
    c.target = target.get();

    const uint64_t range_bytes = p.range_mb << 20;
    c.start_offset = p.start_lba * p.sector_size;
    if (range_bytes <= p.request_size) return kErrParam;  // start offset >= end offset
    c.end_offset = c.start_offset + range_bytes - p.request_size;
    c.write_ratio = std::min<uint32_t>(p.write_ratio, 100);
    c.random_ratio = std::min<uint32_t>(p.random_ratio, 100);
    c.request_size = p.request_size;
    c.spread = p.spread > 0 && static_cast<uint32_t>(p.spread) < p.request_size ? p.spread : 0;
    c.sector_size = p.sector_size;
    c.per_stream = p.per_stream;
    // Slots beyond 128 per thread are not started, so in per-stream mode the
    // streams that really run set the cycle and the limit.
    uint32_t slots_total = 0;
    for (uint32_t s : shares) slots_total += s;
    c.stream_count = p.per_stream ? slots_total : 1;
    c.transfer_limit = (p.limit_mb << 20) * c.stream_count;
    c.transfer_limit -= c.transfer_limit % p.request_size;
    c.cycle_length = std::max<uint64_t>(p.range_mb, 1) << 20;
    c.sequential_streams = p.per_stream ? slots_total : 1;
    c.cancel = p.cancel ? p.cancel : &app().jobs[0].cancel;

    AlignedBuffer buffer;
    if (!buffer.allocate(p.request_size)) return kErrHostMemory;
    c.buffer = buffer.data();

    const uint32_t rate = std::clamp<uint32_t>(p.rate, 1, 1000);
    const uint64_t t0 = workload_ms();
    const uint64_t cycle_cap = c.cycle_length * c.stream_count;
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
        c.issued_cycle.store(0);
        c.exhausted_streams.store(0);
        c.left_ms.store(0);
        c.all_left.reset();
        c.cursor.store(c.start_offset);
        c.state.store(static_cast<uint32_t>(RunState::Running));
        // 2. The data of this cycle.
        pattern_fill(buffer.span(), p.pattern);
        // 3. Workers, start gate.
        c.alive.store(0);
        {
            std::vector<std::jthread> workers;
            workers.reserve(shares.size());
            for (uint32_t i = 0; i < shares.size(); ++i)
                workers.emplace_back(worker_body, WorkerParam{shares[i], i, &c});
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
                        pt.write_kbps = clamp32((w - prev_w) * 1000 / (ms * 1024));
                        pt.read_kbps = clamp32((r - prev_r) * 1000 / (ms * 1024));
                        pt.write_iops = clamp32(static_cast<uint64_t>(pt.write_kbps) * 1024 / p.request_size);
                        pt.read_iops = clamp32(static_cast<uint64_t>(pt.read_kbps) * 1024 / p.request_size);
                        pt.cycle_bytes = c.issued_cycle.load();
                        pt.total_bytes = c.issued_total.load();
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
                        uint32_t kb = pt.write_kbps + pt.read_kbps;
                        uint32_t io = pt.write_iops + pt.read_iops;
                        result.max_kbps = std::max(result.max_kbps, kb);
                        result.min_kbps = std::min(result.min_kbps, kb);
                        result.total_kbps += kb;
                        result.max_iops = std::max(result.max_iops, io);
                        result.min_iops = std::min(result.min_iops, io);
                        result.total_iops += io;
                        ++result.ticks;
                        scale = std::max(scale, kb + 10240);
                        if (p.on_point) p.on_point(pt, scale);
                    }
                }
                if ((st == RunState::Running || draining(st)) && second != last_second) {
                    last_second = second;
                    if (c.activity.exchange(0)) {
                        stall = 0;
                        spinner = (spinner + 1) % 4;
                    } else {
                        ++stall;
                    }
                    uint64_t done = c.issued_cycle.load();
                    uint32_t percent = static_cast<uint32_t>(std::min<uint64_t>(done * 100 / cycle_cap, 100));
                    uint32_t h = static_cast<uint32_t>(second / 3600), m = static_cast<uint32_t>(second / 60 % 60),
                             sec = static_cast<uint32_t>(second % 60);
                    std::string spin(1, kSpinner[spinner]);
                    if (p.per_stream)
                        status(fmt("%s %02d:%02d:%02d   |   Cycle%d, Process:%d%% by %d", spin, h, m,
                                                    sec, cycle, percent, c.stream_count));
                    else
                        status(fmt("%s %02d:%02d:%02d   |   Cycle%d, Process:%d%%", spin, h, m, sec,
                                                    cycle, percent));
                    if (stall >= 30) c.set_state(RunState::Stalled);
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
            if (result.ticks == 0 && c.issued_cycle.load() > 0 && c.run_state() != RunState::TooManyPoints) {
                // A cycle shorter than the first tick: one point for the whole
                // cycle, so that its rates are not reported as zero.
                ThroughputSample pt;
                uint64_t ms = std::max<uint64_t>(cycle_end - cycle_t0, 1);
                pt.cycle_ms = static_cast<uint32_t>(ms);
                pt.job_ms = static_cast<uint32_t>(cycle_end - t0);
                pt.write_kbps = clamp32((c.written_bytes.load() - prev_w) * 1000 / (ms * 1024));
                pt.read_kbps = clamp32((c.read_bytes.load() - prev_r) * 1000 / (ms * 1024));
                pt.write_iops = clamp32(static_cast<uint64_t>(pt.write_kbps) * 1024 / p.request_size);
                pt.read_iops = clamp32(static_cast<uint64_t>(pt.read_kbps) * 1024 / p.request_size);
                pt.cycle_bytes = c.issued_cycle.load();
                pt.total_bytes = c.issued_total.load();
                points.push_back(pt);
                uint32_t kb = pt.write_kbps + pt.read_kbps, io = pt.write_iops + pt.read_iops;
                result.max_kbps = result.min_kbps = kb;
                result.total_kbps = kb;
                result.max_iops = result.min_iops = io;
                result.total_iops = io;
                result.ticks = 1;
                scale = std::max(scale, kb + 10240);
                if (p.on_point) p.on_point(pt, scale);
            }
            if (result.ticks) {
                result.avg_kbps = static_cast<uint32_t>(result.total_kbps / result.ticks);
                result.avg_iops = static_cast<uint32_t>(static_cast<uint64_t>(result.avg_kbps) * 1024 / p.request_size);
            } else {
                result.min_kbps = result.min_iops = 0;
            }
            uint64_t cycle_bytes = c.issued_cycle.load();
            result.transfer_mb = static_cast<uint32_t>(cycle_bytes >> 20);
            result.transfer_ms = static_cast<uint32_t>(cycle_end - cycle_t0);
            result.last_cycle_line = fmt("Last Cycle Data, Cycle%d, Process:%d%%", cycle,
                                         static_cast<uint32_t>(std::min<uint64_t>(cycle_bytes * 100 / cycle_cap, 100)));
            append_csv(p.output_base, points);
            result.last_points = std::move(points);
            result.cycles = cycle;
        }

        // 6. Another cycle?
        RunState st = c.run_state();
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
    result.total_bytes = c.issued_total.load();
    result.completed_requests = c.completed.load();
    append_qos(p.output_base, c.latency.snapshot());
    return exit_code(final_state);
}

}  // namespace tb
