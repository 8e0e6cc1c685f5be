// Steps the log-viewer commands share: checking the command text a script
// gives, and ending on an exchange that brought no answer at all.
#pragma once

#include <string>

#include "exttools/viewer_exchange.h"

namespace tb {

// Whether `command` is one to hand over: false for an empty command (nothing
// to do) and for one longer than the exchange section holds (-2 raised).
bool viewer_command_usable(int slot, const std::string& command);

// Ends the command when the exchange could not take place (-1 raised) or the
// job was cancelled (the cancel line written); true in those cases, false
// when the viewer answered or the wait timed out.
bool viewer_exchange_ended(int slot, const ViewerAnswer& answer);

}  // namespace tb
