// The block storage of this machine: a disk or volume is its /dev node, a
// test file the file itself, all opened unbuffered with an io_uring queue
// per worker (see fd_target.h).
#pragma once

#include <memory>

#include "platform/block_storage.h"

namespace tb::linuxdisk {

std::unique_ptr<BlockStorage> make_linux_block_storage();

}  // namespace tb::linuxdisk
