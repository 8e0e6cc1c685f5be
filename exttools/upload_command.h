// LogUpload: the job's log folder copied to the lab's log server, and the
// server's agent service told about it.
#pragma once

#include <string>

namespace tb {

// LogUpload( LogName:"", Param:"", Param:"", Param:"", Param:"", Param:"" ), by position.
void cmd_LogUpload(int slot, const std::string& args, const std::string& name);

}  // namespace tb
