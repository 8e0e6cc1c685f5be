// File_Copy: a file, or a folder's files, copied with the system's copy.
// Each file is copied under a temporary name beside its destination and put
// in place only when whole, so a failed or stopped copy leaves an existing
// destination as it was.
#include <filesystem>
#include <optional>

#include "common/format.h"
#include "files/file_commands.h"
#include "files/file_pair_args.h"
#include "files/file_place.h"
#include "files/file_progress.h"
#include "files/file_size.h"
#include "files/file_sources.h"
#include "platform/host/copy_file.h"
#include "platform/host/replace_file.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "ui/status.h"
#include "workload/command_support.h"

namespace tb {

namespace {

enum class CopyEnd { Copied, Stopped, Failed };

bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(fs_path(a), fs_path(b), ec) && !ec;
}

void report_failure(int slot, const FilePair& pair, const host::CopyResult& result) {
    log_error_line(slot, "Copy File Error");
    if (result.outcome == host::CopyOutcome::SourceFailed)
        raise_error(slot, kErrFileOpen, fmt("%s: %s", pair.source, result.error));
    else
        raise_error(slot, kErrWriteIO, fmt("%s: %s", pair.destination, result.error));
}

CopyEnd copy_one(int slot, const FilePair& pair) {
    log_text(slot, fmt("Copying : %s", pair.source));
    if (same_file(pair.source, pair.destination)) {
        log_error_line(slot, "Copy File Error");
        raise_error(slot, kErrParam, fmt("%s is the source itself", pair.destination));
        return CopyEnd::Failed;
    }
    const std::string part = pair.destination + ".tamblor-part";
    int shown = -1;
    const host::CopyResult result =
        host::copy_file(fs_path(pair.source), fs_path(part), [&](uint64_t done, uint64_t total) {
            if (cancel_requested(slot)) return false;
            const int percent = whole_percent(done, total);
            if (percent != shown) set_status_text(slot, fmt("Copying : %d%%", shown = percent));
            return true;
        });
    set_status_text(slot, "");
    if (result.outcome == host::CopyOutcome::Stopped) return CopyEnd::Stopped;
    if (result.outcome != host::CopyOutcome::Copied) {
        report_failure(slot, pair, result);
        return CopyEnd::Failed;
    }
    std::string error;
    if (!host::replace_file(fs_path(part), fs_path(pair.destination), &error)) {
        std::error_code ec;
        std::filesystem::remove(fs_path(part), ec);
        report_failure(slot, pair, {host::CopyOutcome::DestinationFailed, error});
        return CopyEnd::Failed;
    }
    return CopyEnd::Copied;
}

// The destination folder of a folder copy, made when missing.
bool destination_folder_ready(int slot, const std::string& folder) {
    if (is_folder(folder)) return true;
    if (file_size_of(folder)) {
        raise_error(slot, kErrFileOpen, fmt("%s is a file; the files of a folder are copied into a folder", folder));
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(fs_path(folder), ec);
    if (!ec) return true;
    raise_error(slot, kErrOutputFile, fmt("%s: %s", folder, ec.message()));
    return false;
}

}  // namespace

void cmd_File_Copy(int slot, const std::string& args, const std::string& name) {
    const std::optional<FilePairWork> given = read_file_pair_args(slot, args, "File_Copy", FileBox::Save);
    if (!given) return;
    const std::string& to = given->to;
    const FilePairs& work = given->work;
    if (work.many && !destination_folder_ready(slot, to)) return;
    if (!work.many && !folder_exists(path_folder(work.pairs.front().destination))) {
        raise_error(slot, kErrFileOpen, fmt("%s: the folder does not exist", work.pairs.front().destination));
        return;
    }
    if (work.many) log_text(slot, fmt("Copying Files: %d", static_cast<int>(work.pairs.size())));
    int copied = 0;
    for (const FilePair& pair : work.pairs) {
        const CopyEnd end = copy_one(slot, pair);
        if (end == CopyEnd::Failed) return;
        if (end == CopyEnd::Stopped) {
            log_text(slot, "Cancel Copy Job ");
            log_text(slot, kCancelCommandText, colour::kCyan);
            return;
        }
        ++copied;
    }
    log_text(slot, fmt("Total Copy Files: %d", copied));
    set_result_number(slot, name, copied);
}

}  // namespace tb
