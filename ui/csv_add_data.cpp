// CSV_AddData: one row appended to a CSV file, or a new file started with it.
#include <optional>
#include <string>

#include "common/file_handle.h"
#include "common/format.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "ui/csv_commands.h"
#include "ui/csv_source.h"
#include "ui/csv_table.h"
#include "ui/text_file.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"File", "", ArgType::Text, ""},
    {"Output", "Data|Row", ArgType::Text, ""},
};

bool holds_nothing(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// UTF-16 text (a byte-order mark or zero bytes) cannot take a UTF-8 row.
bool is_utf16(std::string_view bytes) {
    return (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
            static_cast<unsigned char>(bytes[1]) == 0xFE) ||
           bytes.find('\0') != std::string_view::npos;
}

// The line end the file already uses (CR LF for a new file).
std::string_view line_end_of(std::string_view text) {
    const size_t lf = text.find('\n');
    return lf != std::string_view::npos && (lf == 0 || text[lf - 1] != '\r') ? "\n" : "\r\n";
}

// Appends `row` (already checked against the header) to the existing text.
bool append_row(const std::string& path, std::string_view text, const std::string& row) {
    const std::string_view end = line_end_of(text);
    std::string add;
    if (!text.empty() && text.back() != '\n') add += end;
    add += row;
    add += end;
    return write_file_bytes(path, add, true);
}

}  // namespace

void cmd_CSV_AddData(int slot, const std::string& args, const std::string& name) {
    std::optional<CommandArgs> a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    std::string file = a->text("File");
    const std::string& output = a->text("Output");
    CsvRow fields;
    if (holds_nothing(output) || !split_csv_line(output, fields)) {
        raise_error(slot, kErrParam, fmt("Output \"%s\" is no CSV row", output));
        return;
    }
    switch (resolve_file_argument(slot, file, true, "csv", "CSV File")) {
        case FileResolve::Chosen: break;
        case FileResolve::Cancelled: set_cancel(slot); return;
        case FileResolve::NotFound: raise_error(slot, kErrFileOpen, file); return;
    }
    const std::string path = native_path(file);
    const std::string row = join_csv_row(fields);
    std::string bytes;
    if (file_exists(path) && !read_file_bytes(path, bytes)) {
        raise_error(slot, kErrFileOpen, path);
        return;
    }
    if (holds_nothing(bytes)) {
        if (!write_file_bytes(path, row + "\r\n")) {
            raise_error(slot, kErrOutputFile, path);
            return;
        }
        set_result_number(slot, name, 0);
        return;
    }
    if (is_utf16(bytes)) {
        raise_error(slot, kErrInvalidData, fmt("%s: a row is added only to a UTF-8 file", path));
        return;
    }
    CsvTable table;
    if (const CsvProblem problem = parse_csv(decode_text_bytes(bytes), path, table)) {
        raise_csv_problem(slot, problem);
        return;
    }
    if (fields.size() != table.header.size()) {
        raise_error(slot, kErrInvalidData,
                    fmt("%s: the row has %d fields, the header has %d", path, static_cast<int>(fields.size()),
                        static_cast<int>(table.header.size())));
        return;
    }
    if (!append_row(path, bytes, row)) {
        raise_error(slot, kErrOutputFile, path);
        return;
    }
    set_result_number(slot, name, static_cast<int64_t>(table.rows.size() + 1));
}

}  // namespace tb
