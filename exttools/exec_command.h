// Exec(AssignFolder:"", CmdLine:"text.exe %Disk%", ResultFile:"", WaitClose:TRUE):
// runs one command line in a working folder (the script's folder when none
// is given), the program named by its first word started directly, with
// "%Disk%" in any word standing for the current disk's device. With a
// result file or WaitClose it waits for the program (ending it when the job
// is cancelled) and logs the result file's lines; otherwise it waits at
// most 3 seconds. The command's result is the program's exit code (0 when it
// is still running).
#pragma once

#include <string>

namespace tb {

void cmd_Exec(int slot, const std::string& args, const std::string& name);

}  // namespace tb
