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
    bool any = false;  // a finite value was seen

    void include(double v) {
        if (!std::isfinite(v)) return;
        low = any ? std::min(low, v) : v;
        high = any ? std::max(high, v) : v;
        any = true;
    }
    // Widened a little when flat, so that a constant series sits mid-height.
    AxisRange finished() const {
        if (!any) return {};
        AxisRange r{low, high};
        if (r.high <= r.low) {
            const double pad = std::max(1.0, std::fabs(r.low) * 0.1);
            r.low -= pad;
            r.high += pad;
        }
        return r;
    }
};

// Halves keep the arithmetic finite for any two finite ends.
double tick_value(const AxisRange& r, int i, int steps) {
    const double t = static_cast<double>(i) / steps;
    return r.low * (1 - t) + r.high * t;
}

int to_pixel(double v, const AxisRange& r, int from, int to) {
    double share = (v * 0.5 - r.low * 0.5) / (r.high * 0.5 - r.low * 0.5);
    if (!std::isfinite(share)) share = 0;
    const double p = from + share * (to - from);
    return static_cast<int>(std::lround(std::clamp(p, -1.0e6, 1.0e6)));
}

void draw_frame(ChartCanvas& c, const LineChart& chart, const PlotArea& a) {
    const AxisRange xr = x_axis_range(chart), yr = value_axis_range(chart, false);
    const bool right = chart.uses_right_axis();
    const AxisRange rr = value_axis_range(chart, true);
    for (int i = 0; i <= kTicks; ++i) {
        const int y = a.bottom - (a.bottom - a.top) * i / kTicks;
        const int x = a.left + (a.right - a.left) * i / kTicks;
        c.line(a.left, y, a.right, y, kGrid);
        c.line(x, a.top, x, a.bottom, kGrid);
        const std::string ylabel = axis_number(tick_value(yr, i, kTicks));
        c.text(a.left - 6 - ChartCanvas::text_width(ylabel), y - 5, ylabel, kText);
        if (right) c.text(a.right + 6, y - 5, axis_number(tick_value(rr, i, kTicks)), kText);
        const std::string xlabel = axis_number(tick_value(xr, i, kTicks));
        c.text(x - ChartCanvas::text_width(xlabel) / 2, a.bottom + 6, xlabel, kText);
    }
    c.line(a.left, a.top, a.left, a.bottom, kAxis);
    c.line(a.left, a.bottom, a.right, a.bottom, kAxis);
    if (right) c.line(a.right, a.top, a.right, a.bottom, kAxis);
    // The value axes' names (with their units) above them.
    c.text(8, a.top - 30, chart.left.name, kText);
    if (right) c.text(kLineChartWidth - 8 - ChartCanvas::text_width(chart.right.name), a.top - 30, chart.right.name, kText);
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

void draw_series(ChartCanvas& c, const LineChart& chart, const PlotArea& a) {
    const AxisRange xr = x_axis_range(chart);
    for (size_t s = 0; s < chart.series.size(); ++s) {
        const std::vector<double>& v = chart.series[s].values;
        const AxisRange yr = value_axis_range(chart, chart.series[s].right_axis);
        const size_t n = std::min(v.size(), chart.x.size());
        int px = 0, py = 0;
        bool joined = false;  // the previous point was drawn
        for (size_t i = 0; i < n; ++i) {
            if (!std::isfinite(v[i]) || !std::isfinite(chart.x[i])) {
                joined = false;
                continue;
            }
            const int x = to_pixel(chart.x[i], xr, a.left, a.right);
            const int y = to_pixel(std::clamp(v[i], yr.low, yr.high), yr, a.bottom, a.top);
            if (joined)
                c.line(px, py, x, y, series_colour(s));
            else
                c.set(x, y, series_colour(s));
            px = x;
            py = y;
            joined = true;
        }
    }
}

}  // namespace

bool LineChart::uses_right_axis() const {
    for (const ChartLineSeries& s : series)
        if (s.right_axis) return true;
    return false;
}

AxisRange value_axis_range(const LineChart& chart, bool right) {
    const ValueAxis& axis = right ? chart.right : chart.left;
    if (axis.fixed && axis.high > axis.low) return {axis.low, axis.high};
    Range r;
    for (const ChartLineSeries& s : chart.series)
        if (s.right_axis == right)
            for (double v : s.values) r.include(v);
    return r.finished();
}

AxisRange x_axis_range(const LineChart& chart) {
    Range r;
    for (double v : chart.x) r.include(v);
    return r.finished();
}

PlotArea plot_area(const LineChart& chart) {
    PlotArea a;
    if (chart.uses_right_axis()) a.right = 720;
    return a;
}

Rgb series_colour(size_t index) { return kPalette[index % (sizeof kPalette / sizeof kPalette[0])]; }

std::string axis_number(double v) {
    if (std::fabs(v) < 1e-12) v = 0;
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 4);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

ChartCanvas draw_line_chart(const LineChart& chart) {
    ChartCanvas c(kLineChartWidth, kLineChartHeight, kBackground);
    const PlotArea a = plot_area(chart);
    c.text((kLineChartWidth - ChartCanvas::text_width(chart.title, 2)) / 2, 8, chart.title, kText, 2);
    draw_frame(c, chart, a);
    draw_legend(c, chart, a);
    c.text((a.left + a.right - ChartCanvas::text_width(chart.x_name)) / 2, a.bottom + 30, chart.x_name, kText);
    draw_series(c, chart, a);
    return c;
}

bool write_line_chart_png(const std::string& path, const LineChart& chart) {
    const ChartCanvas c = draw_line_chart(chart);
    return write_png(path, static_cast<uint32_t>(c.width()), static_cast<uint32_t>(c.height()), c.rgb());
}

}  // namespace tb
