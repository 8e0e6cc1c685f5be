// Installing a tool that is missing on this PC: its package is fetched from
// the log server into a download folder of its own (with a progress line
// rewritten in place), a .zip is unpacked there (an archive naming any
// entry outside that folder is refused whole), the installer is run, and the
// download folder is removed again.
#pragma once

#include <string>

namespace tb {

struct ToolSection;

// Whether the tool's proof-of-installation file is there (or none is named).
bool tool_installed(const ToolSection& tool);

// Installs the tool when it is missing. False when it is still missing
// afterwards; the error has then been raised.
bool ensure_tool_installed(int slot, const ToolSection& tool);

// Unpacks the zip archive `archive` into `folder`. False with `problem` when
// the archive cannot be read or names an entry that would leave the folder
// (nothing is written then).
bool unpack_download(const std::string& archive, const std::string& folder, std::string& problem);

}  // namespace tb
