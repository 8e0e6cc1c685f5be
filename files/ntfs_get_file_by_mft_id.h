// GetFileByMftId: prints one MFT record of the job's NTFS volume with the
// details of its attributes.
#pragma once

#include <string>

namespace tb {

void cmd_GetFileByMftId(int slot, const std::string& args, const std::string& name);

}  // namespace tb
