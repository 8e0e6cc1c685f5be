// Where the name a file command is given points. An empty name asks the
// operator with a file box; a name with a drive (":") or one starting at the
// root is taken as it is; any other name lies on the job's partition: the
// volume folder of the target disk's first volume (on a real machine its
// mount point or drive root).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tb {

enum class FileBox { Open, Save };

// The path to use, or nothing when the command must end: the box was
// cancelled (the cancel line is written and the job's cancel flag set), or a
// relative name found no partition on the job's disk (-24 raised).
std::optional<std::string> place_file_name(int slot, std::string name, FileBox box, std::string_view title);

// The file a command reads: placed as above (an "Any File" box for an empty
// name); nothing also when the path is a folder (-11 raised).
std::optional<std::string> place_file_to_read(int slot, std::string name);

// Whether `name` is taken as it is rather than on the job's partition.
bool is_absolute_file_name(std::string_view name);

}  // namespace tb
