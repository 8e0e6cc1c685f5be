// GetFileLBA: where a file's bytes lie on the disk, as its file system maps
// them, the LBA of one byte and that sector's data; with NtfsTrace also the
// walk from the root directory to the file's MFT record.
#pragma once

#include <string>

namespace tb {

void cmd_GetFileLBA(int slot, const std::string& args, const std::string& name);

}  // namespace tb
