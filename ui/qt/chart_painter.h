// Draws a line chart with QPainter: a title, a legend of the series in their
// colours, a grid, numbered axes with their names and units, and the series
// as lines (gaps where a value is missing). The live throughput chart, the
// CSV chart windows and the pictures saved in window runs all draw this way,
// so a saved picture is the chart the window shows.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <string>

#include "ui/csv_chart.h"

namespace tb::qtui {

// The picture size of saved charts.
constexpr int kChartPictureWidth = 800;
constexpr int kChartPictureHeight = 480;

// The colour of series `index` (the palette of the console pictures).
QColor chart_series_colour(size_t index);
// The background behind the plot.
QColor chart_background();

// Where the plot (the area inside the axes) lies when `chart` is drawn in `area`.
QRect chart_plot_rect(const LineChart& chart, const QRect& area);

// Draws `chart` filling `area`.
void paint_line_chart(QPainter& painter, const QRect& area, const LineChart& chart);

// `chart` drawn on a picture of `size`. Safe on any thread.
QImage line_chart_image(const LineChart& chart, QSize size = {kChartPictureWidth, kChartPictureHeight});

// Draws `chart` and saves it as a PNG file at `path`; false when it cannot be written.
bool save_line_chart_png(const std::string& path, const LineChart& chart);

}  // namespace tb::qtui
