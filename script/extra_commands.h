// Commands defined at run time (the external tools of the package), searched
// by the command lookups after the table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "script/command_table.h"

namespace tb {

struct ExtraCommand {
    std::string name;
    StatementClass cls = StatementClass::Device;
    uint32_t mask = kMaskAny;
    Handler handler = nullptr;  // nullptr: the "not supported" handler
    std::string sample;
};

// Replaces the extra commands. Entries of earlier installs stay valid (a
// lookup made before may still be in use), they are only no longer found.
// Keyword classes (If, While) cannot be added; such entries are dropped.
void install_extra_commands(std::vector<ExtraCommand> commands);

// The extra commands installed last, in order.
std::span<const CommandEntry> extra_commands();

}  // namespace tb
