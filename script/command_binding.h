// How a subsystem attaches its handlers to rows of the command table: by the
// row's name as written and, for names that exist once per disk family, by
// the row's protocol mask.
#pragma once

#include <cstdint>
#include <span>

#include "script/command_table.h"
#include "script/handler.h"

namespace tb {

struct CommandBinding {
    const char* name;
    Handler handler;
    uint32_t mask = kMaskAny;
};

using BindingList = std::span<const CommandBinding>;

}  // namespace tb
