// Resolving a file argument: the one way every command turns the file name a
// script gave into a path, asking the user when the name is empty.
#pragma once

#include <string>
#include <string_view>

namespace tb {

enum class FileResolve {
    Chosen,     // `name` holds the path to use
    NotFound,   // open mode: the file does not exist (the caller raises -11 with the name,
                // which then holds the path as this system's users write it)
    Cancelled,  // no name was chosen (the caller sets the slot's cancel flag)
};

// Empty name: asked for with the operator's open or save dialog (cancelled at
// once where nobody can answer, see operator_dialogs()); a cancel empties
// the name and, while a job runs, writes "---- Cancel Command ----" in cyan.
// Non-empty name: "/" becomes "\", a name without extension gets
// `default_ext`; a name with ":" (or starting at the root) is absolute and in
// open mode must exist; a relative name is placed in the relative output
// folder in save mode and looked for by the script file search in open mode.
// In save mode the full path is written to the job log.
FileResolve resolve_file_argument(int slot, std::string& name, bool save_mode, std::string_view default_ext,
                                  std::string_view title);

// Where relative output names go: the program's folder when it is the test's
// own (a packaged player, a build tree); for a program installed in a system
// folder, the job's log folder (or the work folder outside a job).
std::string relative_output_folder(int slot);

// Full path of the running program (the start-up record's, else the platform's).
std::string own_program_path();

}  // namespace tb
