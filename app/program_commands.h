// The program's command table: its rows joined with the bindings of every
// subsystem.
#pragma once

#include <span>

#include "app/command_assembly.h"

namespace tb {

// The binding lists of all subsystems, in the order they are consulted.
std::span<const BindingList> program_bindings();

// The assembled table (built once, kept for the life of the process).
const AssembledCommands& program_commands();

}  // namespace tb
