// The workloads' throughput chart as the console draws it: the rate against
// the job's time on the run's scale, with the names and units of its axes,
// axis numbers, a legend, and the temperature on an axis of its own.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/chart_canvas.h"
#include "tests/canvas_pixels.h"
#include "workload/chart.h"

namespace {

using tb::ChartCanvas;
using tb::ChartPoint;
using tb::Rgb;

using tb::test::count_colour;

std::vector<ChartPoint> rising_points(bool temperature) {
    std::vector<ChartPoint> points;
    for (uint32_t i = 0; i <= 10; ++i) {
        ChartPoint p;
        p.number = i;
        p.job_ms = i * 1000;
        p.kbps = i * 10 * 1024;  // up to 100 MB/s
        p.has_temperature = temperature;
        p.temperature = 50;
        points.push_back(p);
    }
    return points;
}

TEST(ThroughputChartPicture, TheRateIsDrawnOnTheRunsScaleAgainstTheJobsTime) {
    const tb::LineChart chart = tb::throughput_line_chart(rising_points(false), 200 * 1024);
    EXPECT_EQ(chart.x_name, "Time (s)");
    EXPECT_EQ(chart.left.name, "MB/s");
    ASSERT_EQ(chart.series.size(), 1u) << "no temperature was read, so none is drawn";
    const ChartCanvas c = tb::draw_line_chart(chart);
    const tb::PlotArea a = tb::plot_area(chart);
    const Rgb line = tb::series_colour(0);
    // 100 MB/s at the end of the run is half way up a 200 MB/s scale.
    EXPECT_EQ(c.pixel(a.left, a.bottom), line);
    EXPECT_EQ(c.pixel(a.right, (a.top + a.bottom) / 2), line);
}

TEST(ThroughputChartPicture, ItsAxesAreNamedWithTheirUnitsAndItHasALegend) {
    const tb::LineChart chart = tb::throughput_line_chart(rising_points(true), 200 * 1024);
    ASSERT_EQ(chart.series.size(), 2u);
    EXPECT_EQ(chart.right.name, "Temperature (C)");
    const ChartCanvas c = tb::draw_line_chart(chart);
    const tb::PlotArea a = tb::plot_area(chart);
    const Rgb white{255, 255, 255};
    EXPECT_GT(count_colour(c, white, 0, a.top - 30, 60, a.top - 20), 10) << "no name of the rate axis";
    EXPECT_GT(count_colour(c, white, a.right, a.top - 30, tb::kLineChartWidth - 1, a.top - 20), 10)
        << "no name of the temperature axis";
    EXPECT_GT(count_colour(c, white, 0, a.top, a.left - 4, a.bottom), 30) << "no rate numbers";
    EXPECT_GT(count_colour(c, white, a.right + 4, a.top, tb::kLineChartWidth - 1, a.bottom), 30)
        << "no temperature numbers";
    EXPECT_GT(count_colour(c, white, a.left, a.bottom + 28, a.right, a.bottom + 40), 10) << "no time axis name";
    // The legend: a box in each series' colour above the plot.
    EXPECT_GT(count_colour(c, tb::series_colour(0), a.left, a.top - 16, a.right, a.top - 2), 20);
    EXPECT_GT(count_colour(c, tb::series_colour(1), a.left, a.top - 16, a.right, a.top - 2), 20);
    // 50 C sits half way up the 0 to 100 C axis.
    EXPECT_EQ(c.pixel((a.left + a.right) / 2, (a.top + a.bottom) / 2), tb::series_colour(1));
}

TEST(ThroughputChartPicture, AReadingIsHeldUntilTheNextInsteadOfDroppingToZero) {
    // Readings every fourth point, as when points are taken faster than temperatures are read.
    std::vector<ChartPoint> points = rising_points(true);
    for (size_t i = 0; i < points.size(); ++i) points[i].has_temperature = i % 4 == 1;
    const tb::LineChart chart = tb::throughput_line_chart(points, 200 * 1024);
    ASSERT_EQ(chart.series.size(), 2u);
    const std::vector<double>& t = chart.series[1].values;
    EXPECT_TRUE(std::isnan(t[0])) << "nothing was read yet";
    for (size_t i = 1; i < t.size(); ++i) EXPECT_EQ(t[i], 50) << i;
    const ChartCanvas c = tb::draw_line_chart(chart);
    const tb::PlotArea a = tb::plot_area(chart);
    // Nothing of the temperature's colour falls to the bottom of the plot;
    // the held readings draw one level line across it.
    EXPECT_EQ(count_colour(c, tb::series_colour(1), a.left, a.bottom - 3, a.right, a.bottom), 0);
    EXPECT_EQ(c.pixel(a.right, (a.top + a.bottom) / 2), tb::series_colour(1));
}

}  // namespace
