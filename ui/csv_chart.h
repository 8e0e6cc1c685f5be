// A line chart: one or more series of values drawn against the values of a
// horizontal axis, with a title, a grid, axis numbers, the names of the axes
// (with their units) and a legend, written as a PNG picture. CSV columns and
// the workloads' throughput are drawn this way.
#pragma once

#include <string>
#include <vector>

#include "common/chart_canvas.h"

namespace tb {

struct ChartLineSeries {
    std::string name;
    std::vector<double> values;  // one per point of the chart's x values; NaN leaves a gap
    bool right_axis = false;     // drawn against the right-hand value axis
};

// A value axis: its name (with the unit) and, when fixed, its range;
// otherwise the range is that of the values drawn against it.
struct ValueAxis {
    std::string name;
    bool fixed = false;
    double low = 0, high = 1;
};

struct LineChart {
    std::string title;
    std::string x_name;
    std::vector<double> x;
    std::vector<ChartLineSeries> series;
    ValueAxis left, right;  // the right-hand axis is drawn when a series uses it

    bool uses_right_axis() const;
};

// The range an axis shows for the series drawn against it: its fixed range,
// or that of the values (widened when flat; 0 to 1 without any value).
struct AxisRange {
    double low = 0, high = 1;
};
AxisRange value_axis_range(const LineChart& chart, bool right);
AxisRange x_axis_range(const LineChart& chart);

// Size of the picture and where the plot area lies in it.
constexpr int kLineChartWidth = 800;
constexpr int kLineChartHeight = 480;
struct PlotArea {
    int left = 90, top = 60, right = 780, bottom = 420;
};
// The plot area of `chart`: narrower when it has a right-hand axis.
PlotArea plot_area(const LineChart& chart);

// The colour of series `index` (a fixed palette, repeated).
Rgb series_colour(size_t index);

// Draws the chart. A chart without points draws its frame, title and legend.
ChartCanvas draw_line_chart(const LineChart& chart);

// Draws the chart and writes it as a PNG file; false when it cannot be written.
bool write_line_chart_png(const std::string& path, const LineChart& chart);

// A number as the axis shows it: at most four significant digits.
std::string axis_number(double v);

}  // namespace tb
