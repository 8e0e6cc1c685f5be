// Opening the file behind a simulated disk without being led to a file that
// is not ours: the last part of the name is never followed as a symbolic
// link, only a regular file with one name, owned by the effective user, is
// accepted, and a missing file is created (mode 0600) at the disk's size.
#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/unique_fd.h"

namespace tb::sim {

// What to do with an existing file whose size is not the disk's.
enum class OtherSize {
    Refuse,  // a file the simulated machine may not have made: left as it is
    Resize,  // a file of the machine's own private folder: set to the disk's size
};

// Opens `name` relative to `dir_fd` (AT_FDCWD for a plain path) for reading
// and writing; `shown` names it in messages. An invalid descriptor with the
// reason in `error` when the file is refused or cannot be made.
linuxdisk::UniqueFd open_image_file(int dir_fd, const std::string& name, const std::string& shown, uint64_t size,
                                    OtherSize other_size, std::string* error);

}  // namespace tb::sim
