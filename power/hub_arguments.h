// The whole-number arguments of the hub and disk-power commands (seconds,
// hub ports): by key, or by position when the pair there has no key; a
// missing one keeps its default; anything that is not a number in range
// ends the command with -2 naming the key (never wrapped into range).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "script/handler.h"

namespace tb {

struct HubArgument {
    std::string_view key;
    size_t position;
    int64_t fallback;
    int64_t highest;  // the lowest is 0
};

constexpr int64_t kLongestHubSeconds = 65535;  // also what a time-out of 0 stands for
constexpr int64_t kHighestHubPort = 255;

// False (after raising -2) when the value is refused.
bool read_hub_argument(const ArgReader& r, const HubArgument& spec, int64_t& out);

}  // namespace tb
