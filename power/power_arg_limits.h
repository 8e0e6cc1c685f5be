// The limits the disk-power and hub commands put on their arguments.
#pragma once

#include <cstdint>

namespace tb {

// The longest wait a power command takes, and what a wait of 0 stands for.
constexpr int64_t kLongestWaitSeconds = 65535;
constexpr int64_t kHighestHubPort = 255;

}  // namespace tb
