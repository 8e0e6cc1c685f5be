#include "workload/map_run_chart.h"

#include <algorithm>

#include "disk/disk_record.h"
#include "script/job_log_writer.h"
#include "ui/status.h"
#include "workload/compare_status.h"
#include "workload/report.h"
#include "workload/temperature.h"
#include "workload/throughput_summary.h"

namespace tb {

namespace {

constexpr char kSpinner[4] = {'-', '/', '-', '\\'};

}  // namespace

MapRunChart::MapRunChart(int slot, uint32_t request_size)
    : slot_(slot), request_size_(request_size ? request_size : 1), base_(output_stem(slot)) {
    line_ = write_line(slot, path_of_chart(base_), LineFormat::Normal, kChartLineSize);
    chart_.slot = slot;
    chart_.temperature_offset = temperature_offset(current_target());
    start_ms_ = last_ms_ = workload_ms();
}

void MapRunChart::take_point(uint64_t now, uint64_t written, uint64_t read) {
    ThroughputSample pt;
    pt.job_ms = pt.cycle_ms = static_cast<uint32_t>(now - start_ms_);
    set_rates(pt, written - last_written_, read - last_read_, std::max<uint64_t>(now - last_ms_, 1) * 1000,
              request_size_);
    pt.cycle_bytes = pt.total_bytes = written + read;
    points_.push_back(pt);
    chart_.add(pt, pt.write_kbps + pt.read_kbps + 10240);
    last_ms_ = now;
    last_written_ = written;
    last_read_ = read;
}

void MapRunChart::update(uint64_t written, uint64_t read, uint32_t percent) {
    const uint64_t now = workload_ms();
    const int64_t second = static_cast<int64_t>((now - start_ms_) / 1000);
    if (second == last_second_) return;
    last_second_ = second;
    if (written != last_written_ || read != last_read_) spinner_ = (spinner_ + 1) % 4;
    take_point(now, written, read);
    StatusFigures f;
    f.spinner = kSpinner[spinner_];
    f.seconds = static_cast<uint64_t>(second);
    f.percent = std::min<uint32_t>(percent, 100);
    set_status_text(slot_, compare_status(f));
}

void MapRunChart::finish(uint64_t written, uint64_t read) {
    const uint64_t now = workload_ms();
    // What moved since the last point, or the whole of a run shorter than
    // its first point.
    if (points_.empty() ? written + read > 0 : (written != last_written_ || read != last_read_))
        take_point(now, written, read);
    set_status_text(slot_, "");
    append_csv(base_, points_);
    if (render_chart_png(path_of_chart(base_), chart_)) bind_chart_line(slot_, line_, base_);
}

}  // namespace tb
