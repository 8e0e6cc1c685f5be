// Script commands that act on the process as a whole: Help, ConsoleOut,
// ShowCLICmdHeader and AutoRunOnStartup.
#pragma once

#include <string>

namespace tb {

void cmd_Help(int slot, const std::string& args, const std::string& name);
void cmd_ConsoleOut(int slot, const std::string& args, const std::string& name);
void cmd_ShowCLICmdHeader(int slot, const std::string& args, const std::string& name);
void cmd_AutoRunOnStartup(int slot, const std::string& args, const std::string& name);

// Writes the help text (helpw.txt, else help.txt, found by the script file
// search) to the slot's job log. Returns false when neither file exists.
bool write_help(int slot);

// The console actions of ConsoleOut: "_INITIAL" when a console run starts and
// "_END" when it ends.
void console_initial(bool append);
void console_end();

// Seconds AutoRunOnStartup counts down before it registers the script.
constexpr int kAutoRunCountdown = 8;

}  // namespace tb
