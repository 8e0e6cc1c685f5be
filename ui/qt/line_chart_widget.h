// A widget that shows one line chart, drawn to fill the widget.
#pragma once

#include <QWidget>

#include "ui/csv_chart.h"

namespace tb::qtui {

class LineChartWidget : public QWidget {
    Q_OBJECT
public:
    explicit LineChartWidget(QWidget* parent = nullptr);

    void set_chart(LineChart chart);
    const LineChart& chart() const { return chart_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LineChart chart_;
};

}  // namespace tb::qtui
