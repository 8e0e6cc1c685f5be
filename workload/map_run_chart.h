// The chart line, the status line and the throughput series of a map
// command that drives its requests from the job thread (Compare_MapWrite,
// Compare_MapCompare), as the engine's runs have them: one point a second
// from the bytes moved, the status line once a second, and at the end the
// points appended to "<base>.CSV" and drawn into "<base>.png", which the
// chart line then shows and links.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "workload/chart.h"

namespace tb {

class MapRunChart {
public:
    // Writes the chart line; `request_size` turns bytes into IO/s.
    MapRunChart(int slot, uint32_t request_size);
    MapRunChart(const MapRunChart&) = delete;
    MapRunChart& operator=(const MapRunChart&) = delete;

    // The bytes written and read so far and the percent done; call it
    // often (every 100 ms or so): a point and the status line are taken
    // once a second.
    void update(uint64_t written, uint64_t read, uint32_t percent);
    // The last figures: a run shorter than a second still gets its one
    // point. Clears the status line, appends the points to the CSV file and
    // draws the chart, which the chart line then shows (as the engine's
    // runs do, a chart that cannot be written leaves the line as it is).
    void finish(uint64_t written, uint64_t read);

private:
    void take_point(uint64_t now, uint64_t written, uint64_t read);

    int slot_;
    uint32_t request_size_;
    std::string base_;
    int line_ = -1;
    uint64_t start_ms_ = 0;
    uint64_t last_ms_ = 0;
    uint64_t last_written_ = 0, last_read_ = 0;
    int64_t last_second_ = 0;
    uint32_t spinner_ = 0;
    ChartSeries chart_;
    std::vector<ThroughputSample> points_;
};

}  // namespace tb
