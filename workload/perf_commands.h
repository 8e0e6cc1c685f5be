// The performance and trace workload commands: the five engine commands
// (Performance_SeqRead, _SeqWrite, _RandRead, _RandWrite, _MixReadWrite),
// Performance_VideoStream, JEDEC219A_Enterprise and JEDEC219A_Client.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tb {

void cmd_Performance_SeqRead(int slot, const std::string& args, const std::string& name);
void cmd_Performance_SeqWrite(int slot, const std::string& args, const std::string& name);
void cmd_Performance_RandRead(int slot, const std::string& args, const std::string& name);
void cmd_Performance_RandWrite(int slot, const std::string& args, const std::string& name);
void cmd_Performance_MixReadWrite(int slot, const std::string& args, const std::string& name);
void cmd_Performance_VideoStream(int slot, const std::string& args, const std::string& name);
void cmd_JEDEC219A_Enterprise(int slot, const std::string& args, const std::string& name);
void cmd_JEDEC219A_Client(int slot, const std::string& args, const std::string& name);

// The enterprise workload's distribution table: counts by range (A, B, C)
// and request size (0.5K .. 64K), with shares of all requests.
std::vector<std::string> enterprise_distribution_lines(const std::array<std::array<uint64_t, 12>, 3>& counts);

}  // namespace tb
