// The debug archive of a job: the job's log folder, with the script copied
// into it, packed into a zip archive and kept beside the program as
// "<folder name>.datx" in the transformed form of datx_transform.h. Made at
// the end of a windowed job at debug level 1.
#pragma once

#include <string>

namespace tb {

struct DebugArchive {
    bool written = false;
    std::string path;   // the .datx file
    std::string error;  // why it was not written
};

// Whether the end of a job makes a debug archive: debug level 1 in a run
// that shows the window.
bool debug_archive_wanted();

// Copies `script_path` into `log_folder` under its own name, packs the folder
// into "<log_folder>.zip", writes its transform to
// "<program_folder>/<name of log_folder>.datx" and deletes the zip.
DebugArchive write_debug_archive(const std::string& log_folder, const std::string& script_path,
                                 const std::string& program_folder);

}  // namespace tb
