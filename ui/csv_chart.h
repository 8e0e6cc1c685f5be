// A line chart of CSV columns: one or more series of values drawn against
// the values of the first column, with a title, a grid, axis numbers, the
// name of the horizontal axis and a legend, written as a PNG picture.
#pragma once

#include <string>
#include <vector>

#include "common/chart_canvas.h"

namespace tb {

struct ChartLineSeries {
    std::string name;
    std::vector<double> values;  // one per point of the chart's x values
};

struct LineChart {
    std::string title;
    std::string x_name;
    std::vector<double> x;
    std::vector<ChartLineSeries> series;
};

// Size of the picture and where the plot area lies in it.
constexpr int kLineChartWidth = 800;
constexpr int kLineChartHeight = 480;
struct PlotArea {
    int left = 90, top = 60, right = 780, bottom = 420;
};

// The colour of series `index` (a fixed palette, repeated).
Rgb series_colour(size_t index);

// Draws the chart. A chart without points draws its frame, title and legend.
ChartCanvas draw_line_chart(const LineChart& chart);

// Draws the chart and writes it as a PNG file; false when it cannot be written.
bool write_line_chart_png(const std::string& path, const LineChart& chart);

// A number as the axis shows it: at most four significant digits.
std::string axis_number(double v);

}  // namespace tb
