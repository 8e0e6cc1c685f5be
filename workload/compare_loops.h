// The threaded write/verify loops: Compare_SeqReadWrite and
// Compare_RandReadWrite.
#pragma once

#include <string>

namespace tb {

void cmd_Compare_SeqReadWrite(int slot, const std::string& args, const std::string& name);
void cmd_Compare_RandReadWrite(int slot, const std::string& args, const std::string& name);

}  // namespace tb
