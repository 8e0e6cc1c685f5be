#include "ui/qt/qt_chart_display.h"

#include <algorithm>

#include "common/format.h"
#include "script/app_context.h"
#include "script/job_log_writer.h"
#include "ui/qt/chart_painter.h"
#include "ui/qt/csv_chart_window.h"
#include "ui/qt/csv_table_window.h"

namespace tb::qtui {

namespace {

// UI mode 1 runs without anything on screen.
bool windows_shown() { return app().ui_mode != 1; }

}  // namespace

QtChartDisplay::QtChartDisplay() = default;

QtChartDisplay::~QtChartDisplay() {
    for (const QPointer<QWidget>& w : windows_) delete w.data();
}

bool QtChartDisplay::save_chart(const std::string& path, const LineChart& chart) {
    return save_line_chart_png(path, chart);
}

void QtChartDisplay::show_chart(int, const LineChart& chart) {
    if (!windows_shown()) return;
    QMetaObject::invokeMethod(this, [this, chart] { open(new CsvChartWindow(chart)); }, Qt::QueuedConnection);
}

void QtChartDisplay::show_table(int slot, const std::string& title, const std::string& path, const CsvTable& table) {
    log_text(slot, title, colour::kYellow);
    log_text(slot, fmt("%d rows of %d columns of %s, shown as a table", static_cast<int>(table.rows.size()),
                       static_cast<int>(table.header.size()), path));
    if (!windows_shown()) return;
    QMetaObject::invokeMethod(this, [this, title, table] { open(new CsvTableWindow(title, table)); },
                              Qt::QueuedConnection);
}

void QtChartDisplay::open(QWidget* window) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    windows_.erase(std::remove_if(windows_.begin(), windows_.end(), [](const QPointer<QWidget>& w) { return !w; }),
                   windows_.end());
    windows_.emplace_back(window);
    window->show();
    emit windowOpened(window);
}

std::vector<QWidget*> QtChartDisplay::windows() const {
    std::vector<QWidget*> out;
    for (const QPointer<QWidget>& w : windows_)
        if (w) out.push_back(w.data());
    return out;
}

InstalledQtChartDisplay::InstalledQtChartDisplay()
    : display_(std::make_shared<QtChartDisplay>()), previous_(install_chart_display(display_)) {}

InstalledQtChartDisplay::~InstalledQtChartDisplay() { install_chart_display(previous_); }

}  // namespace tb::qtui
