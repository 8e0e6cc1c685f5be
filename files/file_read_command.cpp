// File_Read: a file read back from an offset by a file job.
#include <optional>

#include "common/format.h"
#include "files/file_commands.h"
#include "files/file_job_finish.h"
#include "files/file_jobs.h"
#include "files/file_place.h"
#include "files/file_read_job.h"
#include "files/file_size.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"File", "", ArgType::Text, "File0.hex"},
    {"OffsetByte", "Offset", ArgType::Number, "0", 0},
    {"DataLenByte", "", ArgType::Number, "0", 0},
    {"WaitFinish", "", ArgType::Bool, "TRUE"},
};

}  // namespace

void cmd_File_Read(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "File_Read", kSpecs);
    if (!a) return;
    const std::optional<std::string> path = place_file_to_read(slot, a->text("File"));
    if (!path) return;
    const std::optional<uint64_t> size = file_size_of(*path);
    if (!size) {
        raise_error(slot, kErrFileOpen, *path);
        return;
    }
    FileReadRequest request;
    request.slot = slot;
    request.path = *path;
    request.offset = static_cast<uint64_t>(a->number("OffsetByte"));
    request.length = static_cast<uint64_t>(a->number("DataLenByte"));
    request.dump_path = output_stem(slot) + ".Hex";
    // Checked here too, so that the script learns it at once even when it
    // does not wait; the job checks again on the file it opens.
    if (request.offset >= *size) {
        log_error_line(slot, kOffsetPastEnd);
        raise_error(slot, kErrGeneric, kOffsetPastEnd);
        return;
    }
    const uint32_t number = start_file_job(
        slot, FileJobKind::Read, [request](const FileJobControl& control) { return run_file_read(request, control); });
    finish_file_job_command(slot, name, number, a->flag("WaitFinish"), request.dump_path);
}

}  // namespace tb
