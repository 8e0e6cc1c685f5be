// The live throughput chart of the main window: the points a workload of
// slot 0 takes arrive as job events (queued onto the window's thread) and
// are drawn as the saved chart pictures are. Hidden until a workload draws;
// a new workload's first point starts a new chart. Points beyond a few
// thousand are thinned (every other one dropped), so its memory stays
// bounded however long the workload runs.
#pragma once

#include <QTimer>
#include <vector>

#include "ui/qt/line_chart_widget.h"
#include "ui/qt/qt_job_events.h"

namespace tb::qtui {

class ThroughputChartView final : public LineChartWidget {
    Q_OBJECT
public:
    static constexpr size_t kMaxShownPoints = 4096;
    static constexpr int kRedrawMs = 200;  // points arriving faster are drawn together

    // Listens to slot 0's chart points from `events`.
    explicit ThroughputChartView(QtJobEvents* events, QWidget* parent = nullptr);

    // Points received since the window opened, and those of the chart shown.
    size_t points_received() const { return received_; }
    const std::vector<ChartPoint>& points() const { return points_; }

public slots:
    void add_point(int slot, tb::ChartPoint point);

private:
    void redraw();

    std::vector<ChartPoint> points_;
    uint32_t scale_kbps_ = 0;
    size_t received_ = 0;
    QTimer redraw_timer_;
};

}  // namespace tb::qtui
