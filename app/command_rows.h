// The rows of the command table as the program defines them, without handlers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "script/command_table.h"

namespace tb {

struct CommandRow {
    const char* name;  // as written, e.g. "Identify_DescriptorNamespac"
    StatementClass cls;
    uint32_t mask;
    const char* sample;
};

constexpr size_t kCommandRowCount = 229;

std::span<const CommandRow> command_rows();

}  // namespace tb
