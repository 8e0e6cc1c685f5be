// The picture a workload leaves in its log folder: read back from the PNG
// file, it shows named axes (white text beside and under the plot) and a
// legend entry in the throughput line's colour, not bare lines on a grid.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/file_handle.h"
#include "tests/temp_dir.h"
#include "tests/test_support.h"
#include "ui/csv_chart.h"
#include "workload/chart.h"

namespace {

struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
    bool is(uint32_t x, uint32_t y, uint8_t r, uint8_t g, uint8_t b) const {
        const size_t at = (size_t{y} * width + x) * 3;
        return rgb[at] == r && rgb[at + 1] == g && rgb[at + 2] == b;
    }
};

uint32_t be32(const std::string& s, size_t at) {
    return (uint32_t{static_cast<uint8_t>(s[at])} << 24) | (uint32_t{static_cast<uint8_t>(s[at + 1])} << 16) |
           (uint32_t{static_cast<uint8_t>(s[at + 2])} << 8) | uint32_t{static_cast<uint8_t>(s[at + 3])};
}

// Reads an 8-bit RGB PNG whose rows are stored unfiltered (as the chart writer stores them).
bool read_png(const std::string& path, Picture& out) {
    std::string file;
    if (!tb::read_file_bytes(path, file) || file.size() < 33) return false;
    out.width = be32(file, 16);
    out.height = be32(file, 20);
    std::string packed;
    for (size_t at = 8; at + 8 <= file.size();) {
        const uint32_t n = be32(file, at);
        if (file.compare(at + 4, 4, "IDAT") == 0) packed += file.substr(at + 8, n);
        at += 12 + n;
    }
    const size_t row = size_t{out.width} * 3 + 1;
    std::vector<uint8_t> raw(row * out.height);
    uLongf raw_size = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK)
        return false;
    for (uint32_t y = 0; y < out.height; ++y) {
        if (raw[y * row] != 0) return false;
        out.rgb.insert(out.rgb.end(), raw.begin() + static_cast<long>(y * row + 1),
                       raw.begin() + static_cast<long>((y + 1) * row));
    }
    return true;
}

TEST(ThroughputChartPng, TheSavedPictureHasNamedAxesNumbersAndALegend) {
    tb::ChartSeries series;
    for (uint32_t i = 0; i < 20; ++i) {
        tb::ThroughputSample s;
        s.job_ms = i * 1000;
        s.read_kbps = (i % 5) * 20 * 1024;
        series.add(s, 110 * 1024);
    }
    const std::string folder = tb::test::make_temp_dir("tamblor-chart-png");
    const std::string path = folder + "/chart.png";
    ASSERT_TRUE(tb::render_chart_png(path, series));
    Picture p;
    ASSERT_TRUE(read_png(path, p));
    ASSERT_GT(p.width, 200u);
    ASSERT_GT(p.height, 200u);
    // Text is white: axis numbers left of the plot, names above it and under it.
    uint32_t white_left = 0, white_top = 0, white_bottom = 0, legend = 0;
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x) {
            if (p.is(x, y, 255, 255, 255)) {
                if (x < 80) ++white_left;
                if (y < 60) ++white_top;
                if (y > p.height - 60) ++white_bottom;
            }
            const tb::Rgb line = tb::series_colour(0);
            if (y < 60 && p.is(x, y, line.r, line.g, line.b)) ++legend;
        }
    EXPECT_GT(white_left, 50u) << "no numbers on the rate axis";
    EXPECT_GT(white_top, 50u) << "no title or axis names";
    EXPECT_GT(white_bottom, 50u) << "no time axis numbers or name";
    EXPECT_GT(legend, 20u) << "no legend entry for the rate";
}

}  // namespace
