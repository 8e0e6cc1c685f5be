// The environment a child process starts with.
#pragma once

#include <string>
#include <vector>

namespace tb {

// `current` ("NAME=value" entries) with `overrides` replacing entries of the
// same name or added behind them. Names compare exactly, or without regard
// to case where the system treats them so.
std::vector<std::string> merged_environment(const std::vector<std::string>& current,
                                            const std::vector<std::string>& overrides, bool names_ignore_case);

}  // namespace tb
