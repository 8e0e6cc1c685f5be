// Performance_VideoStream: one request in flight at a time, frame writes
// through a data area and, with FrameHead, one-sector frame-head writes and
// reads on three head positions between the frames. The same series, CSV,
// latency file, status line and summary as the engine commands.
#include <algorithm>

#include "common/format.h"
#include "disk/disk_record.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "ui/job_log.h"
#include "ui/status.h"
#include "workload/aligned_buffer.h"
#include "workload/chart.h"
#include "workload/command_support.h"
#include "workload/pattern.h"
#include "workload/perf_commands.h"
#include "workload/report.h"
#include "workload/request_window.h"
#include "workload/temperature.h"
#include "workload/throughput_summary.h"

namespace tb {

namespace {

const char kSpinner[4] = {'-', '/', '-', '\\'};

// The request sequence of the stream, one request at a time.
class StreamPlan {
public:
    StreamPlan(uint64_t range_start, uint64_t data_start, uint64_t data_length, uint32_t frame, uint32_t sector,
               bool heads)
        : range_start_(range_start), data_start_(data_start), data_end_(data_start + data_length), frame_(frame),
          sector_(sector), heads_(heads) {
        restart();
    }
    struct Step {
        IoOp op;
        uint64_t offset;
        uint32_t length;
        bool frame;
        bool wrapped;  // this frame went back to the data area's start
    };
    Step next() {
        if (!heads_ || step_ == 0) {
            step_ = heads_ ? 1 : 0;
            // Advance first; past the end, back to the start: the first frame
            // lands at the data area's start.
            bool wrapped = false;
            uint64_t at = frame_pos_ + frame_;
            if (frame_pos_ == kNone || at + frame_ > data_end_) {
                wrapped = frame_pos_ != kNone;
                at = data_start_;
            }
            frame_pos_ = at;
            return {IoOp::Write, at, frame_, true, wrapped};
        }
        // Steps 1..8: pairs (write, read), (read, write), ... on one head each.
        uint32_t pair = (step_ - 1) / 2, half = (step_ - 1) % 2;
        bool write_first = pair % 2 == 0;
        IoOp op = (half == 0) == write_first ? IoOp::Write : IoOp::Read;
        uint64_t at = range_start_ + head_ * (1ull << 20) + head_step_[head_] * sector_;
        if (half == 1) {
            ++head_step_[head_];
            head_ = (head_ + 1) % 3;
        }
        step_ = step_ == 8 ? 0 : step_ + 1;
        return {op, at, sector_, false, false};
    }
    // Head positions restart with every pass over the data area.
    void restart_heads() {
        head_ = 0;
        head_step_[0] = head_step_[1] = head_step_[2] = 0;
    }
    void restart() {
        frame_pos_ = kNone;
        step_ = 0;
        restart_heads();
    }

private:
    static constexpr uint64_t kNone = ~0ull;
    uint64_t range_start_, data_start_, data_end_;
    uint32_t frame_, sector_;
    bool heads_;
    uint64_t frame_pos_ = kNone;
    uint32_t step_ = 0;
    uint32_t head_ = 0;
    uint64_t head_step_[3] = {0, 0, 0};
};

}  // namespace

void cmd_Performance_VideoStream(int slot, const std::string& args, const std::string& name) {
    KeyReader keys(slot, args);
    int64_t lba = 0, range = 0;
    uint32_t kb = 8192, pattern = kPatternAuto, cycles = 1, limit_sec = 0, frames_per_dot = 20;
    bool frame_head = true;
    if (!keys.i64({"LBA"}, 0, lba, 0) || !keys.i64({"RangeLenMB"}, 1, range, 0) ||
        !keys.u32({"AccessKB"}, 2, kb, 8192) || !keys.pattern({"WritePattern"}, 3, pattern, kPatternAuto) ||
        !keys.boolean({"FrameHead"}, 4, frame_head, true) || !keys.u32({"LimitCycle"}, 5, cycles, 1) ||
        !keys.u32({"LimitTimeSec"}, 6, limit_sec, 0) || !keys.u32({"FramePerDot"}, 7, frames_per_dot, 20))
        return;
    const uint32_t sector = job_sector_size();
    if (kb == 0 || frames_per_dot == 0 || lba < 0 || range < 0 || kb > 1024 * 1024) {
        raise_error(slot, kErrParam, kb == 0 ? "AccessKB must not be 0" : "FramePerDot must not be 0");
        return;
    }
    const uint32_t frame = kb * 1024;
    if (frame % sector) {
        raise_error(slot, kErrParam, "AccessKB must base on SectorSize");
        return;
    }
    uint64_t start_lba = static_cast<uint64_t>(lba), range_mb = static_cast<uint64_t>(range);
    WorkloadTarget target;
    if (!open_workload_target(slot, true, start_lba, range_mb, target)) return;
    if (range_mb < 100) {
        raise_error(slot, kErrParam, "Stream Size must > 100 MB");
        return;
    }
    // With frame heads the data area starts 5 MiB into the range; near the
    // end of the disk it is shortened so that it stays on the disk.
    const uint64_t range_start = start_lba * sector;
    const uint64_t data_start = range_start + (frame_head ? 5ull << 20 : 0);
    uint64_t data_length = range_mb << 20;
    if (data_start + data_length > target.size_bytes)
        data_length = target.size_bytes > data_start ? (target.size_bytes - data_start) / sector * sector : 0;
    if (data_length < frame) {
        raise_error(slot, kErrParam, "Stream Size must > 100 MB");
        return;
    }
    const uint64_t limit = static_cast<uint64_t>(cycles) * (range_mb << 20);

    AlignedBuffer data(frame), head(sector);
    if (!data || !head) {
        raise_error(slot, kErrHostMemory, "frame buffer");
        return;
    }
    pattern_fill(data.span(), pattern);
    pattern_fill(head.span(), pattern);
    const std::string base = output_stem(slot);
    const int chart_line = write_line(slot, path_of_chart(base), LineFormat::Normal, kChartLineSize);

    LatencyHistogram latency;
    latency.reset(1000000000ull);
    // The frame buffer is the one the queue may register; head requests use their own.
    RequestWindow window(*target.io, 1, data.span(), &latency, [slot] { return cancel_requested(slot); });
    StreamPlan plan(range_start, data_start, data_length, frame, sector, frame_head);

    WorkloadResult result;
    result.clear();
    ChartSeries chart;
    chart.slot = slot;
    chart.temperature_offset = temperature_offset(current_target());
    std::vector<ThroughputSample> points;
    const uint64_t t0 = workload_ms();
    uint64_t cycle_t0 = t0, prev_ns = window_counter_ns(), prev_w = 0, prev_r = 0;
    uint64_t written = 0, read = 0, cycle_bytes = 0, total = 0, frames = 0;
    uint32_t cycle = 1, spinner = 0, requests_since_point = 0;
    uint64_t last_second = 0;
    int32_t failure = 0;
    bool too_many = false;
    auto cycle_line = [&] {
        result.last_cycle_line = fmt("Last Cycle Data, Cycle%d, Process:%d%%", cycle,
                                     static_cast<uint32_t>(std::min<uint64_t>(cycle_bytes * 100 / data_length, 100)));
        result.transfer_mb = static_cast<uint32_t>(cycle_bytes >> 20);
        result.transfer_ms = static_cast<uint32_t>(workload_ms() - cycle_t0);
    };
    for (;;) {
        if (cancel_requested(slot) || (limit && frames * frame >= limit)) break;
        uint64_t now_s = (workload_ms() - t0) / 1000;
        if (limit_sec && now_s >= limit_sec) break;
        if (now_s != last_second) {
            last_second = now_s;
            spinner = (spinner + 1) % 4;
            set_status_text(slot, fmt("%s %02d:%02d:%02d   |   Cycle%d, Process:%d%%", std::string(1, kSpinner[spinner]),
                                      now_s / 3600, now_s / 60 % 60, now_s % 60, cycle,
                                      static_cast<uint32_t>(std::min<uint64_t>(cycle_bytes * 100 / data_length, 100))));
        }
        StreamPlan::Step s = plan.next();
        if (s.wrapped) {
            // A pass over the data area is one cycle.
            cycle_line();
            result.clear();
            result.last_cycle_line.clear();
            append_csv(base, points);
            points.clear();
            ++cycle;
            cycle_bytes = 0;
            cycle_t0 = workload_ms();
            plan.restart_heads();
        }
        IoRequest req;
        req.op = s.op;
        req.offset = s.offset;
        req.length = s.length;
        req.data = s.frame ? data.data() : head.data();
        if (!window.run_one(req)) {
            if (window.failed()) failure = req.op == IoOp::Write ? kErrWriteIO : kErrReadIO;
            else if (window.stalled()) failure = kErrIoTimeout;
            break;
        }
        (s.op == IoOp::Write ? written : read) += s.length;
        total += s.length;
        if (s.frame) {
            ++frames;
            cycle_bytes += s.length;
        }
        if (++requests_since_point >= frames_per_dot * 9) {
            requests_since_point = 0;
            if (points.size() + 1 >= kSampleCapacity) {
                too_many = true;
                break;
            }
            uint64_t ns = window_counter_ns();
            uint64_t us = std::max<uint64_t>((ns - prev_ns) / 1000, 1);
            ThroughputSample pt;
            pt.cycle_ms = static_cast<uint32_t>(workload_ms() - cycle_t0);
            pt.job_ms = static_cast<uint32_t>(workload_ms() - t0);
            set_rates(pt, written - prev_w, read - prev_r, us, frame);
            pt.cycle_bytes = cycle_bytes;
            pt.total_bytes = total;
            prev_ns = ns;
            prev_w = written;
            prev_r = read;
            points.push_back(pt);
            add_to_summary(result, pt);
            chart.add(pt, pt.write_kbps + pt.read_kbps + 10240);
        }
    }
    cycle_line();
    close_summary(result, frame);
    append_csv(base, points);
    append_qos(base, latency.snapshot());
    set_status_text(slot, "");
    print_summary(slot, result, base);
    if (render_chart_png(base + ".png", chart)) bind_chart_line(slot, chart_line, base);
    if (too_many) {
        log_text(slot, "Stop by too much points to draw, try to resuce Parameters.");
        return;
    }
    if (failure) {
        uint64_t at = window.failed() ? window.failed_request().offset : 0;
        print_position(slot, target, at);
        raise_error(slot, failure, position_text(at, target.sector_size, target.mode == TargetMode::Raw));
        return;
    }
    set_result_number(slot, name, result.avg_kbps);
}

}  // namespace tb
