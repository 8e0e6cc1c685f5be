// CSV_ShowTable: the table as aligned text lines of the job log in console
// runs, as a sortable table window in window runs.
#include <optional>
#include <string>

#include "platform/paths.h"
#include "script/arg_table.h"
#include "script/handler.h"
#include "ui/chart_display.h"
#include "ui/csv_commands.h"
#include "ui/csv_source.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"File", "", ArgType::Text, ""},
    {"Title", "", ArgType::Text, ""},
};

}  // namespace

void cmd_CSV_ShowTable(int slot, const std::string& args, const std::string& name) {
    std::optional<CommandArgs> a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    std::string file = a->text("File");
    CsvTable table;
    if (!load_csv_argument(slot, file, table)) return;
    const std::string path = native_path(file);
    chart_display()->show_table(slot, a->text("Title").empty() ? path_file_name(path) : a->text("Title"), path, table);
    set_result_number(slot, name, static_cast<int64_t>(table.rows.size()));
}

}  // namespace tb
