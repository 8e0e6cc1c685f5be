// Opening the file a job-log line carries (its value): with the viewer
// "ExtCmd/moreViewer.exe" of the program's folder for the kinds of file it
// shows, else with the desktop's program for the file; an address is opened
// by the desktop.
#pragma once

#include <string>

namespace tb {

// Whether the viewer shows files with this extension (with its dot, any
// case): .TXT .HEX .CSV .MAP .FWCFG .CFGINI .MPINI .DRV .DGD .GD .SMART .RAW
// .MPINFO .MPOEM.
bool viewer_shows(const std::string& extension);

enum class ValueOpened { Nothing, WithViewer, WithDesktop };

// Opens `value` as the list's double-click does: nothing for an empty value,
// a missing file or a text that is no address; the viewer when it is in
// `program_folder` and shows the file, else the desktop's program.
ValueOpened open_line_value(const std::string& value, const std::string& program_folder);

}  // namespace tb
