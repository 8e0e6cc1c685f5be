// What an upload sends: called from a script, the job's log folder under the
// running script's name; typed by the user into the command line, a folder
// the user chooses, named after the first script found in it.
#pragma once

#include <optional>
#include <string>

namespace tb {

struct UploadSource {
    std::string folder;
    std::string script_name;
};

constexpr const char* kUploadFolderTitle = "Select Upload Folder";

// Whether the statement the slot runs as a typed single command begins with
// `command_name` (case-insensitive).
bool typed_by_user(int slot, const std::string& command_name);

// The file name, without extension, of the first script ("*.scp", "*.scpt")
// directly in `folder` by name; empty when there is none.
std::string first_script_name(const std::string& folder);

// The folder and script name to upload; nothing when the user cancelled the
// folder question (the command then ends quietly).
std::optional<UploadSource> choose_upload_source(int slot, const std::string& command_name);

}  // namespace tb
