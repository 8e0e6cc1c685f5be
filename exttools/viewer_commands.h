// The log-viewer commands: handing the viewer a command, asking it one and
// waiting for its answer, opening a file in it, and asking its identifier.
#pragma once

#include <string>

namespace tb {

// LogView_Send( Command:"", DelayRunSec:0 ), by position.
void cmd_LogView_Send(int slot, const std::string& args, const std::string& name);
// LogView_Wait( Command:"", TimeoutSec:15 ), by position; the answer is the
// "Result : " line (and the result variable).
void cmd_LogView_Wait(int slot, const std::string& args, const std::string& name);
// moreViewer( File:"" ): the viewer opens the file ("OpenFile:<full path>").
void cmd_moreViewer(int slot, const std::string& args, const std::string& name);
// GetViewID( TimeoutSec:3 ): the running viewer's identifier, "" when none answers.
void cmd_GetViewID(int slot, const std::string& args, const std::string& name);

// The commands the viewer understands besides a script's own texts.
constexpr const char* kViewerOpenFilePrefix = "OpenFile:";
constexpr const char* kViewerIdQuestion = "GetViewID";

}  // namespace tb
