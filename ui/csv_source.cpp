#include "ui/csv_source.h"

#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"

namespace tb {

void raise_csv_problem(int slot, const CsvProblem& problem) { raise_error(slot, problem.code, problem.text); }

bool load_csv_argument(int slot, std::string& file, CsvTable& table) {
    switch (resolve_file_argument(slot, file, false, "csv", "CSV File")) {
        case FileResolve::Chosen: break;
        case FileResolve::Cancelled: set_cancel(slot); return false;
        case FileResolve::NotFound: raise_error(slot, kErrFileOpen, file); return false;
    }
    const CsvProblem problem = read_csv_file(native_path(file), table);
    if (problem) {
        raise_csv_problem(slot, problem);
        return false;
    }
    return true;
}

}  // namespace tb
