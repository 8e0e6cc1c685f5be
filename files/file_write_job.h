// The body of a File_Write job: the file made anew and filled with
// DataLenMB pieces of 1 MiB (the pattern with the offset marks of every
// 512-byte block), the first 512 bytes kept as the job's dump file.
#pragma once

#include <cstdint>
#include <string>

#include "files/file_jobs.h"

namespace tb {

struct FileWriteRequest {
    int slot = 0;
    std::string path;
    uint64_t length_mb = 0;
    uint32_t pattern = 0;   // kPatternAuto: one random value for the file
    std::string dump_path;  // "<output stem>.Hex"
};

// Writes "Pattern     : 0x%08X" and the "File Write : " progress line,
// then the pieces; stops after the piece in hand when the job is stopped
// ("---- Cancel Command ----"). −1 when the file cannot be made, −4 when a
// write fails.
FileJobOutcome run_file_write(const FileWriteRequest& request, const FileJobControl& control);

}  // namespace tb
