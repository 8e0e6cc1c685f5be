#include "ui/qt/line_chart_widget.h"

#include <QPainter>

#include "ui/qt/chart_painter.h"

namespace tb::qtui {

LineChartWidget::LineChartWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 200);
}

void LineChartWidget::set_chart(LineChart chart) {
    chart_ = std::move(chart);
    update();
}

void LineChartWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint_line_chart(painter, rect(), chart_);
}

}  // namespace tb::qtui
