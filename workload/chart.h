// The throughput chart of a workload run: the points the sampler takes,
// told live to whoever watches the job and drawn at the end into a PNG
// image that the job log's chart line shows and links to the CSV file of
// the same points.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "script/job_events.h"
#include "ui/csv_chart.h"
#include "workload/engine.h"

namespace tb {

// Font size of the job-log line that becomes the chart image.
constexpr int kChartLineSize = 150;

struct ChartSeries {
    int slot = -1;                   // the job slot watchers are told of each point; -1: nobody
    uint32_t rate = 1;               // points per second
    int temperature_offset = 0;      // 273 for kelvin readings
    uint32_t scale_kbps = 10240;     // vertical scale: at least the largest KB/s + 10 MiB/s
    std::vector<ThroughputSample> points;  // every cycle, in order

    // At most this many points are kept; beyond it every other one is
    // dropped (the chart is 800 pixels wide).
    static constexpr size_t kMaxPoints = 65536;
    uint32_t taken = 0;  // points added so far
    void add(const ThroughputSample& s, uint32_t scale);
};

// A point as the chart draws it: read + write rates and the temperature in
// degrees Celsius (the reading less `temperature_offset`; none when not read).
ChartPoint chart_point_of(const ThroughputSample& s, int temperature_offset, uint32_t scale_kbps, uint32_t number);

// The chart of these points: read + write MB/s against the job's time in
// seconds on a scale of `scale_kbps`, and the temperature (0 to 100 C on a
// right-hand axis, each reading held until the next) when any point has one.
LineChart throughput_line_chart(std::span<const ChartPoint> points, uint32_t scale_kbps);

// "<base>.png".
inline std::string path_of_chart(const std::string& base) { return base + ".png"; }

// Draws the series as throughput_line_chart() does and writes it as a PNG
// file through the chart display in use (the console canvas, or the window's
// drawing in window runs). False when the file cannot be written.
bool render_chart_png(const std::string& path, const ChartSeries& series);

// The bare PNG encoder: 8-bit RGB rows, top to bottom.
bool write_png(const std::string& path, uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);

}  // namespace tb
