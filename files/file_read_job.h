// The body of a File_Read job: the file read from an offset in pieces of
// 1 MiB, the first 512 bytes read kept as the job's dump file.
#pragma once

#include <cstdint>
#include <string>

#include "files/file_jobs.h"

namespace tb {

struct FileReadRequest {
    int slot = 0;
    std::string path;
    uint64_t offset = 0;
    uint64_t length = 0;  // 0: to the end of the file
    std::string dump_path;
};

// Writes the "File Read : " progress line and reads; stops after the piece
// in hand when the job is stopped. −1 when the file cannot be opened, −255
// "Offset must < FileSize" for an offset at or past its end, −3 when a read
// fails or the file ends before the length read (it shrank or went away).
FileJobOutcome run_file_read(const FileReadRequest& request, const FileJobControl& control);

// The text of the offset check.
constexpr const char* kOffsetPastEnd = "Offset must < FileSize";

}  // namespace tb
