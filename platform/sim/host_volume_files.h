// The files of the machine the program runs on that stand behind the
// simulated volumes: room left, test files made anew, removal, and a file
// opened as an LBA target. Each system implements them in its platform
// folder with its own unbuffered file I/O.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/block_storage.h"
#include "platform/volumes.h"

namespace tb::sim {

// Free bytes on the file system holding `folder` (0 when unknown).
uint64_t host_free_bytes(const std::string& folder);
// Makes the file anew for sequential writing; nullptr when it cannot be made.
std::unique_ptr<NewFile> create_host_test_file(const std::string& path);
bool remove_host_test_file(const std::string& path);
// An existing file opened as an LBA target; nullptr with a message in
// `error` when it cannot be opened.
std::unique_ptr<IoTarget> open_host_path(const std::string& path, const PathOptions& options, std::string* error);

}  // namespace tb::sim
