#include "workload/charted_run.h"

#include <algorithm>

#include "disk/disk_record.h"
#include "workload/chart.h"
#include "workload/report.h"
#include "workload/temperature.h"

namespace tb {

int run_with_chart(int slot, int chart_line, PerfParams& p, WorkloadResult& result) {
    ChartSeries chart;
    chart.slot = slot;
    chart.temperature_offset = temperature_offset(current_target());
    p.on_point = [&chart](const ThroughputSample& pt, uint32_t scale) { chart.add(pt, scale); };
    const int rc = run_performance(p, result);
    chart.scale_kbps = std::max(chart.scale_kbps, result.chart_scale_kbps);
    if (render_chart_png(p.output_base + ".png", chart)) bind_chart_line(slot, chart_line, p.output_base);
    return rc;
}

}  // namespace tb
