#include "ui/chart_display.h"

#include <mutex>

#include "common/format.h"
#include "script/job_log_writer.h"
#include "ui/csv_table_text.h"

namespace tb {

namespace {

std::mutex g_lock;
std::shared_ptr<ChartDisplay> g_installed;

}  // namespace

bool ConsoleChartDisplay::save_chart(const std::string& path, const LineChart& chart) {
    return write_line_chart_png(path, chart);
}

void ConsoleChartDisplay::show_chart(int, const LineChart&) {}

void ConsoleChartDisplay::show_table(int slot, const std::string& title, const std::string& path,
                                     const CsvTable& table) {
    log_text(slot, title, colour::kYellow);
    const std::vector<std::string> lines = table_text_lines(table);
    for (size_t i = 0; i < lines.size(); ++i) log_text(slot, lines[i], i < 2 ? colour::kCyan : colour::kWhite);
    if (table.rows.size() > kTableRowsShown)
        log_text(slot, fmt("    >> more... (%d more rows in %s)", static_cast<int>(table.rows.size() - kTableRowsShown),
                           path));
}

std::shared_ptr<ChartDisplay> install_chart_display(std::shared_ptr<ChartDisplay> display) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_installed.swap(display);
    return display;
}

std::shared_ptr<ChartDisplay> chart_display() {
    static const std::shared_ptr<ChartDisplay> console = std::make_shared<ConsoleChartDisplay>();
    std::lock_guard<std::mutex> guard(g_lock);
    return g_installed ? g_installed : console;
}

}  // namespace tb
