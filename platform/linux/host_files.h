// Files of the machine the program runs on, as the volumes seam needs them:
// free space, test files made anew, removal. The simulated machine keeps its
// volumes' files here too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/volumes.h"

namespace tb::linuxdisk {

// Free bytes on the file system holding `folder` (0 when unknown).
uint64_t host_free_bytes(const std::string& folder);

// Creates the file anew for unbuffered sequential writing (buffered where
// the file system refuses unbuffered I/O), compression off.
std::unique_ptr<NewFile> create_host_file(const std::string& path);

bool remove_host_file(const std::string& path);

}  // namespace tb::linuxdisk
