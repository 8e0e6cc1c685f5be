// GlobalVar: the variable table shared by every instance on the machine.
//
// The shared section "GlobalVar" holds 10 entries of 1152 bytes: the name
// (UTF-16LE, 64 code units including the terminator) and the value text
// (UTF-16LE, 512 code units including the terminator). The first entry with
// an empty name ends the table; names are compared case-sensitively. The
// contents live as long as any instance has the table mapped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "script/value.h"

namespace tb {

constexpr size_t kGlobalVarEntries = 10;
constexpr size_t kGlobalVarNameUnits = 64;
constexpr size_t kGlobalVarValueUnits = 512;
constexpr size_t kGlobalVarEntryBytes = (kGlobalVarNameUnits + kGlobalVarValueUnits) * 2;  // 1152
constexpr size_t kGlobalVarBytes = kGlobalVarEntries * kGlobalVarEntryBytes;               // 11520

// A run maps the table at its start and unmaps it at its end; the calls nest.
// An access while nothing is mapped (a command typed into the main window)
// maps the table itself and keeps it mapped until the process ends, so what
// it writes stays readable the way it does during a run.
bool global_var_map();
void global_var_unmap();

// Whether the table can be used now (mapping it as an access would);
// otherwise `problem` tells why: it belongs to another user, has the wrong
// size, or another instance held it until the job was stopped.
bool global_var_usable(std::string& problem);

// Write: the entry of that name, else the first empty entry, gets the name
// and the value printed as text (string as is, decimal "%I64d", hex
// "0x%08I64X"). Returns false when the name is new and all 10 entries are in
// use: the table has no room, and overwriting another instance's entry would
// lose it silently, so the write is refused.
bool global_var_write(std::string_view name, const Value& value);
bool global_var_write_text(std::string_view name, std::string_view text);

// Read: the entry's text as a hex literal (hex), else a decimal literal
// (decimal), else a string. An unknown name gives the empty string.
Value global_var_read(std::string_view name);
// The entry's text as stored (empty for an unknown name).
std::string global_var_text(std::string_view name);

// Marks a function-script child as running ("_FnScript" = "RUNNING") or
// finished (empty), for IsFnScriptRunning in the calling instance.
void set_fn_script_state(bool running);

}  // namespace tb
