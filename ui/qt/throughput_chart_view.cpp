#include "ui/qt/throughput_chart_view.h"

#include <algorithm>

#include "workload/chart.h"

namespace tb::qtui {

ThroughputChartView::ThroughputChartView(QtJobEvents* events, QWidget* parent) : LineChartWidget(parent) {
    setFixedHeight(240);
    hide();
    redraw_timer_.setSingleShot(true);
    redraw_timer_.setInterval(kRedrawMs);
    connect(&redraw_timer_, &QTimer::timeout, this, &ThroughputChartView::redraw);
    connect(events, &QtJobEvents::chartPointTaken, this, &ThroughputChartView::add_point, Qt::QueuedConnection);
}

void ThroughputChartView::add_point(int slot, tb::ChartPoint point) {
    if (slot != 0) return;
    ++received_;
    if (point.number == 0) {
        points_.clear();
        scale_kbps_ = 0;
    }
    if (points_.size() >= kMaxShownPoints) {
        for (size_t i = 0; i < points_.size() / 2; ++i) points_[i] = points_[2 * i];
        points_.resize(points_.size() / 2);
    }
    points_.push_back(point);
    scale_kbps_ = std::max(scale_kbps_, point.scale_kbps);
    if (isHidden()) show();
    if (!redraw_timer_.isActive()) redraw_timer_.start();
}

void ThroughputChartView::redraw() { set_chart(throughput_line_chart(points_, scale_kbps_)); }

}  // namespace tb::qtui
