// The question a vendor command puts before it changes a drive's state
// (brand new, an empty mapping table, recovery mode): a yes/no box whose
// caption names the disk's model. A "no" writes the cancel line and the
// command ends without an error.
#pragma once

#include <string>
#include <string_view>

namespace tb {

// The caption: `question`, a line break and the model of the current target.
std::string vendor_confirm_caption(std::string_view question);

// True to go on: `ask` is false, or the operator answered yes. A "no" (or a
// box nobody can answer) writes "---- Cancel Command ----" and gives false.
bool vendor_confirm(int slot, bool ask, std::string_view question);

}  // namespace tb
