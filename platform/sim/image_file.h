// Opening the file behind a simulated disk without being led to a file that
// is not ours: the last part of the name is never followed as a link, only
// a regular file with one name, owned by the user, is accepted, and a
// missing file is created (private to the user) at the disk's size.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sim/host_file.h"
#include "platform/sim/host_folder.h"

namespace tb::sim {

// What to do with an existing file whose size is not the disk's.
enum class OtherSize {
    Refuse,  // a file the simulated machine may not have made: left as it is
    Resize,  // a file of the machine's own private folder: set to the disk's size
};

// Opens `name` inside `folder` (nullptr for a plain path) for reading and
// writing; `shown` names it in messages. A closed file with the reason in
// `error` when the file is refused or cannot be made.
HostFile open_image_file(const HostFolder* folder, const std::string& name, const std::string& shown, uint64_t size,
                         OtherSize other_size, std::string* error);

}  // namespace tb::sim
