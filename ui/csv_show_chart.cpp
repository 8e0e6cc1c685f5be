// CSV_ShowChart: the chosen columns drawn as a line chart picture in the
// job's log folder and shown as an image line; a window run also opens the
// chart in a window of its own.
#include <optional>
#include <string>
#include <vector>

#include "common/format.h"
#include "platform/paths.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "ui/chart_display.h"
#include "ui/csv_chart.h"
#include "ui/csv_commands.h"
#include "ui/csv_numbers.h"
#include "ui/csv_source.h"
#include "workload/chart.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"File", "", ArgType::Text, ""},
    {"Title", "", ArgType::Text, ""},
    {"Column", "Columns", ArgType::Number, "1"},
};

// The first column as the horizontal axis, or the row numbers when it
// holds text that is no number (time stamps, names).
void set_x_axis(const CsvTable& table, const std::string& path, LineChart& chart) {
    if (!column_numbers(table, 0, path, chart.x)) {
        chart.x_name = table.header[0];
        return;
    }
    chart.x.clear();
    for (size_t i = 0; i < table.rows.size(); ++i) chart.x.push_back(static_cast<double>(i + 1));
    chart.x_name = "Row";
}

}  // namespace

void cmd_CSV_ShowChart(int slot, const std::string& args, const std::string& name) {
    std::optional<CommandArgs> a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    std::string file = a->text("File");
    CsvTable table;
    if (!load_csv_argument(slot, file, table)) return;
    const std::string path = native_path(file);
    const int64_t column = a->number("Column");
    const int64_t columns = static_cast<int64_t>(table.header.size());
    if (columns < 2 || column < 0 || column >= columns) {
        raise_error(slot, kErrParam,
                    fmt("Column %I64d is out of range: %s has columns 0 to %d (0: every column after the first)",
                        column, path, static_cast<int>(columns - 1)));
        return;
    }
    if (table.rows.empty()) {
        raise_error(slot, kErrInvalidData, fmt("%s: no row to draw", path));
        return;
    }
    LineChart chart;
    chart.title = a->text("Title").empty() ? path_file_name(path) : a->text("Title");
    set_x_axis(table, path, chart);
    const size_t first = column == 0 ? 1 : static_cast<size_t>(column);
    const size_t last = column == 0 ? table.header.size() - 1 : first;
    for (size_t c = first; c <= last; ++c) {
        ChartLineSeries s;
        s.name = table.header[c];
        if (const CsvProblem problem = column_numbers(table, c, path, s.values)) {
            raise_csv_problem(slot, problem);
            return;
        }
        chart.series.push_back(std::move(s));
    }
    if (chart.series.size() == 1) chart.left.name = chart.series[0].name;
    const std::string picture = output_stem(slot) + ".png";
    const std::shared_ptr<ChartDisplay> display = chart_display();
    if (!display->save_chart(native_path(picture), chart)) {
        raise_error(slot, kErrOutputFile, picture);
        return;
    }
    display->show_chart(slot, chart);
    // An image line of the chart's height, linked to the CSV file it shows.
    write_line(slot, picture, LineFormat::Normal, kChartLineSize, colour::kWhite, LineKind::Image, path);
    set_result_number(slot, name, static_cast<int64_t>(table.rows.size()));
}

}  // namespace tb
