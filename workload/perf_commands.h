// The performance and trace workload commands: the five engine commands
// (Performance_SeqRead, _SeqWrite, _RandRead, _RandWrite, _MixReadWrite),
// Performance_VideoStream, JEDEC219A_Enterprise and JEDEC219A_Client.
#pragma once

#include <string>

namespace tb {

void cmd_Performance_SeqRead(int slot, const std::string& args, const std::string& name);
void cmd_Performance_SeqWrite(int slot, const std::string& args, const std::string& name);
void cmd_Performance_RandRead(int slot, const std::string& args, const std::string& name);
void cmd_Performance_RandWrite(int slot, const std::string& args, const std::string& name);
void cmd_Performance_MixReadWrite(int slot, const std::string& args, const std::string& name);
void cmd_Performance_VideoStream(int slot, const std::string& args, const std::string& name);
void cmd_JEDEC219A_Enterprise(int slot, const std::string& args, const std::string& name);
void cmd_JEDEC219A_Client(int slot, const std::string& args, const std::string& name);

}  // namespace tb
