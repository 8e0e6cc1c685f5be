// Positioning a C stream anywhere in a large file.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tb::host {

// Moves the stream to `offset` bytes from the start of the file (beyond 2 GiB
// too); false when the stream cannot seek there.
bool seek_file(std::FILE* f, std::uint64_t offset);

}  // namespace tb::host
