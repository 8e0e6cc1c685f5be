// MergeCSVs: the CSV files of a folder, in name order, under one header.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/format.h"
#include "common/text.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "ui/csv_commands.h"
#include "ui/csv_file_write.h"
#include "ui/csv_source.h"
#include "ui/csv_table.h"

namespace tb {

namespace {

namespace fs = std::filesystem;

constexpr ArgSpec kSpecs[] = {
    {"Folder", "", ArgType::Text, ""},
    {"SaveFile", "File", ArgType::Text, ""},
};

bool same_file(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

// The ".csv" files directly in `folder` but `save`, in name order.
std::vector<fs::path> csv_files_of(const fs::path& folder, const fs::path& save) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        if (!iequals(utf8_path(it->path().extension()), ".csv") || same_file(it->path(), save)) continue;
        found.push_back(it->path());
    }
    std::sort(found.begin(), found.end(),
              [](const fs::path& a, const fs::path& b) { return utf8_path(a.filename()) < utf8_path(b.filename()); });
    return found;
}

std::string header_text(const CsvRow& header) { return join_csv_row(header); }

}  // namespace

void cmd_MergeCSVs(int slot, const std::string& args, const std::string& name) {
    std::optional<CommandArgs> a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const std::string folder = a->text("Folder");
    std::string save = a->text("SaveFile");
    if (folder.empty()) {
        raise_error(slot, kErrParam, "Folder is empty");
        return;
    }
    if (!folder_exists(native_path(folder))) {
        raise_error(slot, kErrFileOpen, folder);
        return;
    }
    switch (resolve_file_argument(slot, save, true, "csv", "CSV File")) {
        case FileResolve::Chosen: break;
        case FileResolve::Cancelled: set_cancel(slot); return;
        case FileResolve::NotFound: raise_error(slot, kErrFileOpen, save); return;
    }
    const std::vector<fs::path> files = csv_files_of(fs_path(folder), fs_path(save));
    if (files.empty()) {
        raise_error(slot, kErrFileOpen, fmt("%s: no CSV file to merge", folder));
        return;
    }
    CsvTable merged;
    std::string first_name;
    for (const fs::path& f : files) {
        CsvTable one;
        const std::string path = utf8_path(f);
        if (const CsvProblem problem = read_csv_file(path, one)) {
            raise_csv_problem(slot, problem);
            return;
        }
        if (first_name.empty()) {
            merged.header = one.header;
            first_name = path;
        } else if (one.header != merged.header) {
            raise_error(slot, kErrInvalidData,
                        fmt("%s: its header \"%s\" differs from \"%s\" of %s", path, header_text(one.header),
                            header_text(merged.header), first_name));
            return;
        }
        for (CsvRow& row : one.rows) merged.rows.push_back(std::move(row));
    }
    std::string text = join_csv_row(merged.header) + "\r\n";
    for (const CsvRow& row : merged.rows) text += join_csv_row(row) + "\r\n";
    std::string error;
    if (!write_csv_atomically(native_path(save), text, error)) {
        raise_error(slot, kErrOutputFile, fmt("%s: %s", save, error));
        return;
    }
    log_text(slot, fmt("Merged %d CSV files, %d rows: %s", static_cast<int>(files.size()),
                       static_cast<int>(merged.rows.size()), save));
    set_result_number(slot, name, static_cast<int64_t>(merged.rows.size()));
}

}  // namespace tb
