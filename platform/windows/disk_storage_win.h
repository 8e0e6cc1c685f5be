// The block storage and the volumes of this Windows machine: a drive or
// volume is its "\\.\" device, a test file the file itself; a volume's root
// is its drive ("D:").
#pragma once

#include <memory>

#include "platform/block_storage.h"
#include "platform/volumes.h"

namespace tb::windisk {

std::unique_ptr<BlockStorage> make_windows_block_storage();
std::unique_ptr<Volumes> make_windows_volumes();

}  // namespace tb::windisk
