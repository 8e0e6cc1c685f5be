// File_Write and File_FullByPattern: a file filled with the pattern pieces
// by a file job.
#include <optional>

#include "common/format.h"
#include "files/file_commands.h"
#include "files/file_job_finish.h"
#include "files/file_jobs.h"
#include "files/file_pattern_arg.h"
#include "files/file_place.h"
#include "files/file_size.h"
#include "files/file_write_job.h"
#include "platform/paths.h"
#include "platform/volumes.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr int64_t kMaxDataLenMB = int64_t{1} << 40;  // keeps the byte count inside 64 bits

constexpr ArgSpec kSpecs[] = {
    {"File", "", ArgType::Text, "File0.hex"},
    {"DataLenMB", "", ArgType::Number, "4096", 0, kMaxDataLenMB},
    {"WritePattern", "Pattern", ArgType::Text, "0x55AA33CC"},
    {"WaitFinish", "", ArgType::Bool, "TRUE"},
};

// Refuses a write the volume has no room for before anything is touched, so
// that an existing file of that name is kept (the write would replace it).
bool volume_has_room(int slot, const std::string& path, uint64_t length_mb) {
    const uint64_t free = volumes().free_bytes(path_folder(path));
    if (free == 0) return true;  // unknown: the writes will tell
    const uint64_t replaced = file_size_of(path).value_or(0);
    const uint64_t needed = length_mb << 20;
    if (needed <= free + replaced) return true;
    raise_error(slot, kErrWriteIO,
                fmt("%s: %I64d MB do not fit in the %I64d MB free on its volume", path, length_mb,
                    (free + replaced) >> 20));
    return false;
}

void start_write(int slot, const std::string& args, const std::string& name, std::string_view command,
                 bool wait_key) {
    const std::optional<CommandArgs> a = read_args(slot, args, command, kSpecs);
    if (!a) return;
    const std::optional<uint32_t> pattern = parse_file_pattern(a->text("WritePattern"));
    if (!pattern) {
        raise_error(slot, kErrParam,
                    fmt("%s: WritePattern:%s is neither a 32-bit number nor \"AUTO\"", command, a->text("WritePattern")));
        return;
    }
    const std::optional<std::string> path = place_file_name(slot, a->text("File"), FileBox::Save, "Any File");
    if (!path) return;
    if (is_folder(*path)) {
        raise_error(slot, kErrFileOpen, fmt("%s is a folder, not a file", *path));
        return;
    }
    if (!folder_exists(path_folder(*path))) {
        raise_error(slot, kErrFileOpen, fmt("%s: the folder does not exist", *path));
        return;
    }
    const uint64_t length_mb = static_cast<uint64_t>(a->number("DataLenMB"));
    if (!volume_has_room(slot, *path, length_mb)) return;
    FileWriteRequest request;
    request.slot = slot;
    request.path = *path;
    request.length_mb = length_mb;
    request.pattern = *pattern;
    request.dump_path = output_stem(slot) + ".Hex";
    log_text(slot, fmt("File        : %s", *path));
    const uint32_t number = start_file_job(
        slot, FileJobKind::Write, [request](const FileJobControl& control) { return run_file_write(request, control); });
    finish_file_job_command(slot, name, number, !wait_key || a->flag("WaitFinish"), request.dump_path);
}

}  // namespace

void cmd_File_Write(int slot, const std::string& args, const std::string& name) {
    start_write(slot, args, name, "File_Write", true);
}

void cmd_File_FullByPattern(int slot, const std::string& args, const std::string& name) {
    log_text(slot, "Warning! function name no longer supported, please change to File_Write", colour::kYellow);
    start_write(slot, args, name, "File_FullByPattern", false);
}

}  // namespace tb
