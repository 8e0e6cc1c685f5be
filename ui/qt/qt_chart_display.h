// The chart display of window runs: pictures drawn by the window's chart
// painter (so a saved picture is what the window shows), CSV charts and
// tables opened in windows of their own on the window's thread. Made and
// destroyed on that thread; its windows close with it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "ui/chart_display.h"

namespace tb::qtui {

class QtChartDisplay final : public QObject, public ChartDisplay {
    Q_OBJECT
public:
    QtChartDisplay();
    ~QtChartDisplay() override;

    bool save_chart(const std::string& path, const LineChart& chart) override;
    void show_chart(int slot, const LineChart& chart) override;
    void show_table(int slot, const std::string& title, const std::string& path, const CsvTable& table) override;

    // The chart and table windows opened so far and still open.
    std::vector<QWidget*> windows() const;

signals:
    // A chart or table window was opened.
    void windowOpened(QWidget* window);

private:
    void open(QWidget* window);

    std::vector<QPointer<QWidget>> windows_;
};

// Installs a QtChartDisplay for as long as it lives and puts the previous
// display back afterwards.
class InstalledQtChartDisplay {
public:
    InstalledQtChartDisplay();
    ~InstalledQtChartDisplay();
    InstalledQtChartDisplay(const InstalledQtChartDisplay&) = delete;
    InstalledQtChartDisplay& operator=(const InstalledQtChartDisplay&) = delete;

    QtChartDisplay& display() const { return *display_; }

private:
    std::shared_ptr<QtChartDisplay> display_;
    std::shared_ptr<ChartDisplay> previous_;
};

}  // namespace tb::qtui
