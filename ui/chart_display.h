// How the charts and tables of a job reach the person watching it. The
// console form writes the chart pictures and the tables' text lines into the
// job log; a window run installs a form that draws the pictures as its
// windows do and opens chart and table windows.
#pragma once

#include <memory>
#include <string>

#include "ui/csv_chart.h"
#include "ui/csv_table.h"

namespace tb {

class ChartDisplay {
public:
    virtual ~ChartDisplay() = default;

    // Draws `chart` and saves it as a PNG picture at `path` (a native path);
    // false when the picture cannot be written. Called on job threads.
    virtual bool save_chart(const std::string& path, const LineChart& chart) = 0;
    // Shows the chart of a CSV file to the person (its picture is already saved).
    virtual void show_chart(int slot, const LineChart& chart) = 0;
    // Shows the table read from the CSV file at `path` (a native path) under `title`.
    virtual void show_table(int slot, const std::string& title, const std::string& path, const CsvTable& table) = 0;
};

// The console form: pictures drawn on the built-in canvas, nothing more for
// a chart, the table as aligned text lines of the job log.
class ConsoleChartDisplay : public ChartDisplay {
public:
    bool save_chart(const std::string& path, const LineChart& chart) override;
    void show_chart(int slot, const LineChart& chart) override;
    void show_table(int slot, const std::string& title, const std::string& path, const CsvTable& table) override;
};

// Installs the display every later chart and table goes to (nullptr: the
// console form) and hands back the one it replaces.
std::shared_ptr<ChartDisplay> install_chart_display(std::shared_ptr<ChartDisplay> display);

// The display to use now: the installed one, or the console form.
std::shared_ptr<ChartDisplay> chart_display();

}  // namespace tb
