#include "files/file_read_job.h"

#include <algorithm>
#include <vector>

#include "common/file_handle.h"
#include "common/format.h"
#include "files/file_piece.h"
#include "files/file_progress.h"
#include "files/file_size.h"
#include "platform/host/file_position.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"
#include "workload/command_support.h"

namespace tb {

namespace {

struct StartedAtExit {
    const FileJobControl& control;
    ~StartedAtExit() { control.started(); }
};

}  // namespace

FileJobOutcome run_file_read(const FileReadRequest& request, const FileJobControl& control) {
    StartedAtExit started{control};
    FileHandle file = FileHandle::open(request.path, "rb");
    if (!file) return {kErrOpenDisk, fmt("%s cannot be opened", request.path)};
    const std::optional<uint64_t> size = file_size_of(request.path);
    if (!size) return {kErrFileSize, request.path};
    if (request.offset >= *size) return {kErrGeneric, kOffsetPastEnd};
    const uint64_t to_end = *size - request.offset;
    const uint64_t length = request.length == 0 ? to_end : std::min(request.length, to_end);
    if (!host::seek_file(file.get(), request.offset))
        return {kErrReadIO, fmt("%s: no seek to offset 0x%I64X", request.path, request.offset)};
    std::vector<uint8_t> piece(kFilePieceBytes);
    FileProgressLine progress(request.slot, "File Read : ");
    control.started();
    for (uint64_t done = 0; done < length;) {
        if (control.stop_requested()) {
            log_text(request.slot, kCancelCommandText, colour::kCyan);
            return {};
        }
        const size_t want = static_cast<size_t>(std::min<uint64_t>(piece.size(), length - done));
        const size_t got = std::fread(piece.data(), 1, want, file.get());
        if (got != want)
            return {kErrReadIO, fmt("%s ended at offset 0x%I64X, before 0x%I64X", request.path,
                                    request.offset + done + got, request.offset + length)};
        if (done == 0)
            write_file_bytes(request.dump_path,
                             std::string_view(reinterpret_cast<const char*>(piece.data()),
                                              std::min<size_t>(got, kFileBlockBytes)));
        done += got;
        progress.update(done, length);
    }
    return {};
}

}  // namespace tb
