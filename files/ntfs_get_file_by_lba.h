// GetFileByLBA: which file of the job's NTFS volume owns a disk LBA, and its
// path.
#pragma once

#include <string>

namespace tb {

void cmd_GetFileByLBA(int slot, const std::string& args, const std::string& name);

}  // namespace tb
