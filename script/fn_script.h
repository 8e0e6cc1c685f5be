// Function scripts: CallFnScript starts a script in a child instance of this
// program and brings the child's outputs into the caller's job log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tb {

void cmd_CallFnScript(int slot, const std::string& args, const std::string& name);

// The child's arguments: this program, then the words of
// SCRIPT:"%s", DRIVE:"%s", FRAME:4/4, SUBBASE:"%s", SUBPARAM:"%s", AUTOCLOSE:%d
// split as a shell would, with the machine options of this instance after
// the program name.
std::vector<std::string> fn_script_child_arguments(const std::string& program, const std::string& script,
                                                   const std::string& drive, const std::string& sub_base,
                                                   const std::string& params, bool auto_close);

// Brings a child's outputs named after its sub-base ("%s.PNG", "%s.INI",
// "%s.TXT", "%s.XML") into the slot's job log, then its elapsed time.
void import_child_outputs(int slot, const std::string& sub_base, int64_t elapsed_ms, bool prefix = false);

// Options of this instance that a child must get too (the machine it tests).
std::vector<std::string>& instance_options();

// How deep function scripts may nest: a script started by CallFnScript is
// one level below its caller; a call that would go deeper fails with -2.
constexpr int kMaxFnScriptDepth = 8;
// The environment variable that tells a child its level.
constexpr const char* kFnScriptDepthVariable = "TAMBLOR_FN_DEPTH";
// This instance's level: 0 for a top-level run.
int fn_script_depth();


}  // namespace tb
