#include "ui/qt/csv_chart_window.h"

#include <QVBoxLayout>

#include "ui/qt/chart_painter.h"

namespace tb::qtui {

CsvChartWindow::CsvChartWindow(const LineChart& chart, QWidget* parent)
    : QWidget(parent, Qt::Window), chart_(new LineChartWidget(this)) {
    setWindowTitle(QString::fromStdString(chart.title));
    chart_->set_chart(chart);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chart_);
    resize(kChartPictureWidth, kChartPictureHeight);
}

}  // namespace tb::qtui
