// The CSV line chart: the series are drawn where their values lie, in their
// own colours, with a title and axis numbers; odd data (a flat series, huge
// and tiny values, no points) still gives a picture, at once.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/canvas_pixels.h"
#include "tests/temp_dir.h"
#include "ui/csv_chart.h"

namespace {

using tb::ChartCanvas;
using tb::LineChart;
using tb::Rgb;

using tb::test::count_colour;

// The rows of a column of the plot where colour `c` is found.
std::vector<int> rows_with(const ChartCanvas& canvas, Rgb c, int x) {
    std::vector<int> rows;
    for (int y = 0; y < canvas.height(); ++y)
        if (canvas.pixel(x, y) == c) rows.push_back(y);
    return rows;
}

LineChart rising_chart() {
    LineChart chart;
    chart.title = "Rising";
    chart.x_name = "Time";
    chart.x = {0, 1, 2, 3, 4};
    chart.series.push_back({"Up", {0, 10, 20, 30, 40}});
    return chart;
}

TEST(CsvChartDrawing, ARisingSeriesRunsFromTheBottomLeftToTheTopRight) {
    const ChartCanvas c = tb::draw_line_chart(rising_chart());
    const tb::PlotArea a;
    const Rgb green = tb::series_colour(0);
    EXPECT_EQ(c.pixel(a.left, a.bottom), green);
    EXPECT_EQ(c.pixel(a.right, a.top), green);
    // Half way along the line sits half way up.
    const std::vector<int> mid = rows_with(c, green, (a.left + a.right) / 2);
    ASSERT_FALSE(mid.empty());
    EXPECT_NEAR(mid.front(), (a.top + a.bottom) / 2, 2);
}

TEST(CsvChartDrawing, EachSeriesHasItsOwnColourAndALegendEntry) {
    LineChart chart = rising_chart();
    chart.series.push_back({"Down", {40, 30, 20, 10, 0}});
    const ChartCanvas c = tb::draw_line_chart(chart);
    const tb::PlotArea a;
    ASSERT_NE(tb::series_colour(0), tb::series_colour(1));
    EXPECT_EQ(c.pixel(a.left, a.top), tb::series_colour(1));
    EXPECT_EQ(c.pixel(a.right, a.bottom), tb::series_colour(1));
    // The legend above the plot shows both colours.
    EXPECT_GT(count_colour(c, tb::series_colour(0), a.left, a.top - 16, a.right, a.top - 2), 20);
    EXPECT_GT(count_colour(c, tb::series_colour(1), a.left, a.top - 16, a.right, a.top - 2), 20);
}

TEST(CsvChartDrawing, TheTitleAndTheAxisNumbersAreDrawnInWhite) {
    const Rgb white{255, 255, 255};
    const ChartCanvas titled = tb::draw_line_chart(rising_chart());
    LineChart untitled_chart = rising_chart();
    untitled_chart.title.clear();
    const ChartCanvas untitled = tb::draw_line_chart(untitled_chart);
    EXPECT_GT(count_colour(titled, white, 0, 0, tb::kLineChartWidth - 1, 30), 40);
    EXPECT_EQ(count_colour(untitled, white, 0, 0, tb::kLineChartWidth - 1, 30), 0);
    const tb::PlotArea a;
    // Numbers left of the plot and under it.
    EXPECT_GT(count_colour(titled, white, 0, a.top, a.left - 2, a.bottom), 40);
    EXPECT_GT(count_colour(titled, white, a.left, a.bottom + 4, a.right, a.bottom + 16), 40);
}

TEST(CsvChartDrawing, AFlatSeriesSitsAtMidHeight) {
    LineChart chart = rising_chart();
    chart.series[0].values = {7, 7, 7, 7, 7};
    const ChartCanvas c = tb::draw_line_chart(chart);
    const tb::PlotArea a;
    const std::vector<int> rows = rows_with(c, tb::series_colour(0), (a.left + a.right) / 2);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NEAR(rows[0], (a.top + a.bottom) / 2, 1);
}

TEST(CsvChartDrawing, ExtremeAndEmptyDataDrawsQuickly) {
    const auto start = std::chrono::steady_clock::now();
    LineChart huge = rising_chart();
    huge.series[0].values = {-1.7e308, 1.7e308, 0, 5e-324, 1};
    huge.x = {-1.7e308, 0, 1, 2, 1.7e308};
    const ChartCanvas a = tb::draw_line_chart(huge);
    EXPECT_EQ(a.width(), tb::kLineChartWidth);
    LineChart empty;
    empty.series.push_back({"none", {}});
    const ChartCanvas b = tb::draw_line_chart(empty);
    EXPECT_EQ(b.height(), tb::kLineChartHeight);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(CsvChartDrawing, AxisNumbersKeepFourSignificantDigits) {
    EXPECT_EQ(tb::axis_number(0), "0");
    EXPECT_EQ(tb::axis_number(102400), "1.024e+05");
    EXPECT_EQ(tb::axis_number(12.5), "12.5");
    EXPECT_EQ(tb::axis_number(1.0 / 3), "0.3333");
    EXPECT_EQ(tb::axis_number(1e-15), "0");
}

TEST(CsvChartCanvas, TextIsDrawnOnlyInsideThePictureAndUnknownSignsStillTakeACell) {
    ChartCanvas c(40, 12, {0, 0, 0});
    const Rgb white{255, 255, 255};
    EXPECT_EQ(c.text(0, 0, "A~", white), 2 * ChartCanvas::kGlyphWidth);
    EXPECT_GT(count_colour(c, white, 6, 0, 11, 11), 0);  // '~' drawn as '?'
    c.text(35, 5, "WWWW", white, 3);                     // runs off the picture, no fault
    EXPECT_EQ(ChartCanvas::text_width("\xC3\xA9t\xC3\xA9"), 3 * ChartCanvas::kGlyphWidth);
}

TEST(CsvChartFile, TheChartIsWrittenAsAPngOfItsSize) {
    const tb::test::TempFolder folder("tamblor-csv-chart");
    const std::filesystem::path& dir = folder.dir();
    const std::string path = (dir / "c.png").string();
    ASSERT_TRUE(tb::write_line_chart_png(path, rising_chart()));
    std::string head(24, '\0');
    std::ifstream(path, std::ios::binary).read(head.data(), 24);
    EXPECT_EQ(head.substr(1, 3), "PNG");
    auto be32 = [&](size_t at) {
        return (static_cast<unsigned char>(head[at]) << 24) | (static_cast<unsigned char>(head[at + 1]) << 16) |
               (static_cast<unsigned char>(head[at + 2]) << 8) | static_cast<unsigned char>(head[at + 3]);
    };
    EXPECT_EQ(be32(16), tb::kLineChartWidth);
    EXPECT_EQ(be32(20), tb::kLineChartHeight);
    EXPECT_FALSE(tb::write_line_chart_png((dir / "no" / "such" / "c.png").string(), rising_chart()));
}

}  // namespace
