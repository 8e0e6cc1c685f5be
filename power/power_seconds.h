// How the power commands read their whole-number arguments (seconds, hub
// ports): by key, or by position when the pair there has no key; a missing
// one keeps its default. A value that is not a number or lies outside its
// range ends the command with -2 naming the key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "script/handler.h"

namespace tb {

struct BoundedArg {
    std::string_view key;
    size_t position;
    int64_t fallback;
    int64_t lowest;
    int64_t highest;
};

// False (after raising -2) when the value is refused.
bool read_bounded_arg(const ArgReader& r, const BoundedArg& spec, int64_t& out);

// The longest wait a power command takes, and what a wait of 0 stands for.
constexpr int64_t kLongestWaitSeconds = 65535;

}  // namespace tb
