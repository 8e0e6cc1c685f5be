// Joins the rows of the command table with the handlers the subsystems bind
// to them.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "app/command_rows.h"
#include "script/command_binding.h"

namespace tb {

struct AssembledCommands {
    std::vector<CommandEntry> rows;   // in row order
    std::vector<std::string> faults;  // bindings that are doubled, match no row or bind a keyword
};

// A binding matches the row with exactly its name and mask. A row with no
// binding gets the "not supported" handler; the keyword rows (If, While) keep
// none. When a row is bound twice the first binding counts.
AssembledCommands assemble_commands(std::span<const CommandRow> rows, std::span<const BindingList> bindings);

}  // namespace tb
