// CSV_ShowTable in console runs: the table as aligned text lines of the job log.
#include <optional>
#include <string>

#include "common/format.h"
#include "platform/paths.h"
#include "script/arg_table.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "ui/csv_commands.h"
#include "ui/csv_source.h"
#include "ui/csv_table_text.h"

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
    log_text(slot, a->text("Title").empty() ? path_file_name(path) : a->text("Title"), colour::kYellow);
    const std::vector<std::string> lines = table_text_lines(table);
    for (size_t i = 0; i < lines.size(); ++i) log_text(slot, lines[i], i < 2 ? colour::kCyan : colour::kWhite);
    if (table.rows.size() > kTableRowsShown)
        log_text(slot, fmt("    >> more... (%d more rows in %s)", static_cast<int>(table.rows.size() - kTableRowsShown),
                           path));
    set_result_number(slot, name, static_cast<int64_t>(table.rows.size()));
}

}  // namespace tb
