#include "files/file_write_job.h"

#include <memory>

#include "common/file_handle.h"
#include "common/format.h"
#include "files/file_piece.h"
#include "files/file_progress.h"
#include "platform/volumes.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"
#include "workload/aligned_buffer.h"
#include "workload/command_support.h"
#include "workload/pattern.h"

namespace tb {

namespace {

// The job has started once its first lines are out, whatever comes after.
struct StartedAtExit {
    const FileJobControl& control;
    ~StartedAtExit() { control.started(); }
};

void save_dump(const std::string& path, std::span<const uint8_t> piece) {
    const size_t n = std::min(piece.size(), kFileBlockBytes);
    write_file_bytes(path, std::string_view(reinterpret_cast<const char*>(piece.data()), n));
}

}  // namespace

FileJobOutcome run_file_write(const FileWriteRequest& request, const FileJobControl& control) {
    StartedAtExit started{control};
    const uint32_t value = request.pattern == kPatternAuto ? process_random32() : request.pattern;
    std::unique_ptr<NewFile> file = volumes().create_file(request.path);
    if (!file) return {kErrOpenDisk, fmt("%s cannot be made", request.path)};
    AlignedBuffer piece(kFilePieceBytes);
    if (!piece) return {kErrHostMemory, fmt("%s: %d bytes", request.path, static_cast<int>(kFilePieceBytes))};
    log_text(request.slot, fmt("Pattern     : 0x%08X", value));
    FileProgressLine progress(request.slot, "File Write : ");
    control.started();
    for (uint64_t i = 0; i < request.length_mb; ++i) {
        if (control.stop_requested()) {
            file->finish();
            log_text(request.slot, kCancelCommandText, colour::kCyan);
            return {};
        }
        const uint64_t offset = i * kFilePieceBytes;
        fill_file_piece(piece.span(), offset, value);
        if (!file->write_at(offset, piece.span()))
            return {kErrWriteIO, fmt("%s at offset 0x%I64X", request.path, offset)};
        if (i == 0) save_dump(request.dump_path, piece.span());
        progress.update(i + 1, request.length_mb);
    }
    if (!file->finish()) return {kErrWriteIO, fmt("%s: the data could not be put on the medium", request.path)};
    return {};
}

}  // namespace tb
