#include "ui/csv_chart.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "workload/chart.h"

namespace tb {

namespace {

constexpr Rgb kBackground{16, 16, 24};
constexpr Rgb kGrid{56, 56, 72};
constexpr Rgb kAxis{200, 200, 200};
constexpr Rgb kText{255, 255, 255};
constexpr Rgb kPalette[] = {{0, 220, 0},   {255, 150, 40}, {0, 200, 255}, {250, 0, 250},
                            {255, 255, 0}, {255, 70, 70},  {150, 150, 255}, {180, 180, 180}};
constexpr int kTicks = 5;

struct Range {
    double low = 0, high = 1;
    // Widened a little when flat, so that a constant series sits mid-height.
    static Range of(const std::vector<double>& v) {
        Range r;
        if (v.empty()) return r;
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        r.low = *lo;
        r.high = *hi;
        if (r.high <= r.low) {
            const double pad = std::max(1.0, std::fabs(r.low) * 0.1);
            r.low -= pad;
            r.high += pad;
        }
        return r;
    }
    void include(const Range& o) {
        low = std::min(low, o.low);
        high = std::max(high, o.high);
    }
    // Halves keep the arithmetic finite for any two finite ends.
    double at(int i, int steps) const {
        const double t = static_cast<double>(i) / steps;
        return low * (1 - t) + high * t;
    }
};

int to_pixel(double v, const Range& r, int from, int to) {
    double share = (v * 0.5 - r.low * 0.5) / (r.high * 0.5 - r.low * 0.5);
    if (!std::isfinite(share)) share = 0;
    const double p = from + share * (to - from);
    return static_cast<int>(std::lround(std::clamp(p, -1.0e6, 1.0e6)));
}

Range value_range(const LineChart& chart) {
    Range r;
    bool first = true;
    for (const ChartLineSeries& s : chart.series) {
        if (s.values.empty()) continue;
        const Range one = Range::of(s.values);
        if (first)
            r = one;
        else
            r.include(one);
        first = false;
    }
    return r;
}

void draw_frame(ChartCanvas& c, const PlotArea& a, const Range& xr, const Range& yr) {
    for (int i = 0; i <= kTicks; ++i) {
        const int y = a.bottom - (a.bottom - a.top) * i / kTicks;
        const int x = a.left + (a.right - a.left) * i / kTicks;
        c.line(a.left, y, a.right, y, kGrid);
        c.line(x, a.top, x, a.bottom, kGrid);
        const std::string ylabel = axis_number(yr.at(i, kTicks));
        c.text(a.left - 6 - ChartCanvas::text_width(ylabel), y - 5, ylabel, kText);
        const std::string xlabel = axis_number(xr.at(i, kTicks));
        c.text(x - ChartCanvas::text_width(xlabel) / 2, a.bottom + 6, xlabel, kText);
    }
    c.line(a.left, a.top, a.left, a.bottom, kAxis);
    c.line(a.left, a.bottom, a.right, a.bottom, kAxis);
}

void draw_legend(ChartCanvas& c, const LineChart& chart, const PlotArea& a) {
    int x = a.left;
    const int y = a.top - 16;
    for (size_t i = 0; i < chart.series.size(); ++i) {
        const std::string& name = chart.series[i].name;
        if (x + 14 + ChartCanvas::text_width(name) > kLineChartWidth) break;
        c.fill(x, y + 2, 10, 6, series_colour(i));
        x += 14;
        x += c.text(x, y, name, kText) + 16;
    }
}

void draw_series(ChartCanvas& c, const LineChart& chart, const PlotArea& a, const Range& xr, const Range& yr) {
    for (size_t s = 0; s < chart.series.size(); ++s) {
        const std::vector<double>& v = chart.series[s].values;
        const size_t n = std::min(v.size(), chart.x.size());
        int px = 0, py = 0;
        for (size_t i = 0; i < n; ++i) {
            const int x = to_pixel(chart.x[i], xr, a.left, a.right);
            const int y = to_pixel(v[i], yr, a.bottom, a.top);
            if (i == 0)
                c.set(x, y, series_colour(s));
            else
                c.line(px, py, x, y, series_colour(s));
            px = x;
            py = y;
        }
    }
}

}  // namespace

Rgb series_colour(size_t index) { return kPalette[index % (sizeof kPalette / sizeof kPalette[0])]; }

std::string axis_number(double v) {
    if (std::fabs(v) < 1e-12) v = 0;
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 4);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

ChartCanvas draw_line_chart(const LineChart& chart) {
    ChartCanvas c(kLineChartWidth, kLineChartHeight, kBackground);
    const PlotArea a;
    const Range xr = Range::of(chart.x), yr = value_range(chart);
    c.text((kLineChartWidth - ChartCanvas::text_width(chart.title, 2)) / 2, 8, chart.title, kText, 2);
    draw_frame(c, a, xr, yr);
    draw_legend(c, chart, a);
    c.text((a.left + a.right - ChartCanvas::text_width(chart.x_name)) / 2, a.bottom + 30, chart.x_name, kText);
    draw_series(c, chart, a, xr, yr);
    return c;
}

bool write_line_chart_png(const std::string& path, const LineChart& chart) {
    const ChartCanvas c = draw_line_chart(chart);
    return write_png(path, static_cast<uint32_t>(c.width()), static_cast<uint32_t>(c.height()), c.rgb());
}

}  // namespace tb
