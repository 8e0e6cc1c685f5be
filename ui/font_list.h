// FontList in console runs: the job log is drawn in one monospace font, and
// that is the answer. The command writes its name as a line and returns it;
// no font store of the machine is asked, so the answer is the same on every
// system and in every run.
#pragma once

#include <string>
#include <string_view>

namespace tb {

// The monospace font the job log is drawn in (the HTML log's face).
constexpr std::string_view kJobLogFont = "Courier New";

void cmd_FontList(int slot, const std::string& args, const std::string& name);

}  // namespace tb
