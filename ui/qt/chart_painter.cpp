#include "ui/qt/chart_painter.h"

#include <QFontMetrics>
#include <QPainterPath>
#include <cmath>

#include "common/chart_canvas.h"
#include "platform/paths.h"

namespace tb::qtui {

namespace {

constexpr int kTicks = 5;
const QColor kGrid(56, 56, 72);
const QColor kAxis(200, 200, 200);
const QColor kText(255, 255, 255);

QString qtext(const std::string& s) { return QString::fromStdString(s); }

QString axis_text(double v) { return qtext(axis_number(v)); }

struct Layout {
    QRect title, legend, plot;
};

Layout layout_of(const LineChart& chart, const QRect& area, const QFontMetrics& fm) {
    const int line = fm.height();
    Layout l;
    l.title = QRect(area.left(), area.top() + 4, area.width(), line * 3 / 2);
    l.legend = QRect(area.left() + 8, l.title.bottom() + 2, area.width() - 16, line);
    const int axis_names = line + 4;  // the value axes' names above the plot
    const int left_margin = fm.horizontalAdvance(QStringLiteral("-00000")) + 14;
    const int right_margin = chart.uses_right_axis() ? left_margin : 30;
    const int top = l.legend.bottom() + axis_names + 6;
    const int bottom = area.bottom() - 2 * line - 10;  // the x numbers and the x axis name
    l.plot = QRect(QPoint(area.left() + left_margin, top), QPoint(area.right() - right_margin, std::max(top + 1, bottom)));
    return l;
}

double share_of(double v, const AxisRange& r) {
    const double s = (v * 0.5 - r.low * 0.5) / (r.high * 0.5 - r.low * 0.5);
    return std::isfinite(s) ? s : 0;
}

QPointF point_at(double x, double y, const AxisRange& xr, const AxisRange& yr, const QRect& plot) {
    const double px = plot.left() + share_of(x, xr) * plot.width();
    const double py = plot.bottom() - share_of(std::clamp(y, yr.low, yr.high), yr) * plot.height();
    return {std::clamp(px, -1.0e6, 1.0e6), std::clamp(py, -1.0e6, 1.0e6)};
}

void paint_frame(QPainter& p, const LineChart& chart, const QRect& plot, const QFontMetrics& fm) {
    const AxisRange xr = x_axis_range(chart), yr = value_axis_range(chart, false), rr = value_axis_range(chart, true);
    const bool right = chart.uses_right_axis();
    for (int i = 0; i <= kTicks; ++i) {
        const int y = plot.bottom() - plot.height() * i / kTicks;
        const int x = plot.left() + plot.width() * i / kTicks;
        p.setPen(kGrid);
        p.drawLine(plot.left(), y, plot.right(), y);
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(kText);
        const double t = static_cast<double>(i) / kTicks;
        const QString yl = axis_text(yr.low * (1 - t) + yr.high * t);
        p.drawText(plot.left() - 6 - fm.horizontalAdvance(yl), y + fm.ascent() / 2, yl);
        if (right) p.drawText(plot.right() + 6, y + fm.ascent() / 2, axis_text(rr.low * (1 - t) + rr.high * t));
        const QString xl = axis_text(xr.low * (1 - t) + xr.high * t);
        p.drawText(x - fm.horizontalAdvance(xl) / 2, plot.bottom() + 4 + fm.ascent(), xl);
    }
    p.setPen(kAxis);
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    if (right) p.drawLine(plot.bottomRight(), plot.topRight());
    p.setPen(kText);
    const int names_y = plot.top() - 8;
    p.drawText(plot.left() - fm.horizontalAdvance(QStringLiteral("-00000")), names_y, qtext(chart.left.name));
    if (right) {
        const QString name = qtext(chart.right.name);
        p.drawText(plot.right() + 6 + fm.horizontalAdvance(QStringLiteral("000")) - fm.horizontalAdvance(name),
                   names_y, name);
    }
    const QString x_name = qtext(chart.x_name);
    p.drawText(plot.center().x() - fm.horizontalAdvance(x_name) / 2, plot.bottom() + 8 + fm.height() + fm.ascent(),
               x_name);
}

void paint_legend(QPainter& p, const LineChart& chart, const QRect& legend, const QFontMetrics& fm) {
    int x = legend.left();
    for (size_t i = 0; i < chart.series.size(); ++i) {
        const QString name = qtext(chart.series[i].name);
        const int width = 18 + fm.horizontalAdvance(name);
        if (x + width > legend.right()) break;
        p.fillRect(x, legend.center().y() - 3, 12, 6, chart_series_colour(i));
        p.setPen(kText);
        p.drawText(x + 16, legend.top() + fm.ascent(), name);
        x += width + 16;
    }
}

void paint_series(QPainter& p, const LineChart& chart, const QRect& plot) {
    const AxisRange xr = x_axis_range(chart);
    p.save();
    p.setClipRect(plot.adjusted(-2, -2, 2, 2));
    p.setRenderHint(QPainter::Antialiasing, true);
    for (size_t s = 0; s < chart.series.size(); ++s) {
        const std::vector<double>& v = chart.series[s].values;
        const AxisRange yr = value_axis_range(chart, chart.series[s].right_axis);
        const size_t n = std::min(v.size(), chart.x.size());
        QPainterPath path;
        bool joined = false;
        for (size_t i = 0; i < n; ++i) {
            if (!std::isfinite(v[i]) || !std::isfinite(chart.x[i])) {
                joined = false;
                continue;
            }
            const QPointF at = point_at(chart.x[i], v[i], xr, yr, plot);
            if (joined)
                path.lineTo(at);
            else
                path.moveTo(at);
            joined = true;
        }
        QPen pen(chart_series_colour(s), 2);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        p.strokePath(path, pen);
    }
    p.restore();
}

}  // namespace

QColor chart_series_colour(size_t index) {
    const Rgb c = series_colour(index);
    return QColor(c.r, c.g, c.b);
}

QColor chart_background() { return QColor(16, 16, 24); }

QRect chart_plot_rect(const LineChart& chart, const QRect& area) {
    return layout_of(chart, area, QFontMetrics(QFont())).plot;
}

void paint_line_chart(QPainter& painter, const QRect& area, const LineChart& chart) {
    painter.save();
    painter.fillRect(area, chart_background());
    QFont font = painter.font();
    const QFontMetrics fm(font);
    const Layout l = layout_of(chart, area, fm);
    QFont title_font = font;
    title_font.setBold(true);
    title_font.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() * 1.4 : 12);
    painter.setFont(title_font);
    painter.setPen(kText);
    painter.drawText(l.title, Qt::AlignCenter, qtext(chart.title));
    painter.setFont(font);
    paint_frame(painter, chart, l.plot, fm);
    paint_legend(painter, chart, l.legend, fm);
    paint_series(painter, chart, l.plot);
    painter.restore();
}

QImage line_chart_image(const LineChart& chart, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(chart_background());
    QPainter painter(&image);
    paint_line_chart(painter, image.rect(), chart);
    painter.end();
    return image;
}

bool save_line_chart_png(const std::string& path, const LineChart& chart) {
    return line_chart_image(chart).save(QString::fromStdString(native_path(path)), "PNG");
}

}  // namespace tb::qtui
