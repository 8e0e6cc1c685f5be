// The throughput chart of a workload run: the points the sampler takes,
// drawn into a small PNG image that the job log's chart line shows and
// links to the CSV file of the same points.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "workload/engine.h"

namespace tb {

// Font size of the job-log line that becomes the chart image.
constexpr int kChartLineSize = 150;

struct ChartSeries {
    uint32_t rate = 1;               // points per second
    int temperature_offset = 0;      // 273 for kelvin readings
    uint32_t scale_kbps = 10240;     // vertical scale: at least the largest KB/s + 10 MiB/s
    std::vector<ThroughputSample> points;  // every cycle, in order

    // At most this many points are kept; beyond it every other one is
    // dropped (the chart is 800 pixels wide).
    static constexpr size_t kMaxPoints = 65536;
    void add(const ThroughputSample& s, uint32_t scale);
};

// "<base>.png".
inline std::string path_of_chart(const std::string& base) { return base + ".png"; }

// Draws the series (KB/s in green, the composite temperature in orange when
// read) on a dark grid and writes it as a PNG file. False when the file
// cannot be written.
bool render_chart_png(const std::string& path, const ChartSeries& series);

// The bare PNG encoder: 8-bit RGB rows, top to bottom.
bool write_png(const std::string& path, uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);

}  // namespace tb
