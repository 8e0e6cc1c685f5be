// A window showing the chart of CSV columns that CSV_ShowChart drew, under
// the chart's title.
#pragma once

#include <QWidget>

#include "ui/csv_chart.h"
#include "ui/qt/line_chart_widget.h"

namespace tb::qtui {

class CsvChartWindow final : public QWidget {
    Q_OBJECT
public:
    explicit CsvChartWindow(const LineChart& chart, QWidget* parent = nullptr);

    LineChartWidget* chart_widget() const { return chart_; }

private:
    LineChartWidget* chart_;
};

}  // namespace tb::qtui
