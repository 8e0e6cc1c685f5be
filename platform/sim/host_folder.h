// Folders and files of the machine the program runs on, opened without being
// led elsewhere: the last part of a name is never followed as a link, a
// missing file or folder is made private to the user, and a folder stays
// open while it is used, so that its files are reached through the folder
// that was checked (on Windows it cannot be renamed or removed meanwhile).
// Each system implements the opening in its platform folder; what is
// accepted is decided by the callers from the facts (host_file.h).
#pragma once

#include <string>

#include "platform/sim/host_file.h"

namespace tb::sim {

struct HostFolder {
    HostFile handle;
    std::string path;
    std::string path_of(const std::string& name) const { return path + "/" + name; }
};

enum class OpenStatus {
    Opened,
    Exists,        // creating: the name is taken
    Link,          // the name is a symbolic link (or another reparse point)
    CannotCreate,  // `why` tells
    Failed,        // `why` tells
};

// `in` is the folder holding `name`, or nullptr when `name` is a path of
// its own.

// Creates the regular file `name` for reading and writing, private to the
// user; Exists when the name is taken.
OpenStatus create_private_file(const HostFolder* in, const std::string& name, HostFile& out, std::string* why);
// Opens the existing `name` for reading and writing.
OpenStatus open_existing_file(const HostFolder* in, const std::string& name, HostFile& out, std::string* why);
void remove_folder_entry(const HostFolder* in, const std::string& name);
// Creates the folder `name`, private to the user, when it is missing, and
// opens it.
OpenStatus open_private_folder(const HostFolder* in, const std::string& name, HostFolder& out, std::string* why);
// Creates the missing folders above `path` (not `path` itself).
bool make_parent_folders(const std::string& path, std::string* why);

}  // namespace tb::sim
